// Access to one registry key that is opened and closed around every single read or write, so that settings
// are never cached. Objects are short-lived locals of the thread that reads; they are never shared.
#pragma once

#include "platform/Registry.h"

class RegistryPreferences {
public:
    virtual ~RegistryPreferences();
    // The key, opened (and created if missing) for reading and writing; null on failure.
    virtual win32::HKEY OpenKey() = 0;
    virtual void CloseKey(win32::HKEY key) = 0;
};
