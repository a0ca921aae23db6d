// Writing the engine preferences of the translation components into the test's own registry (see
// ScopedRegistry).
#pragma once

#include <string>

#include "settings/RawRegistry.h"

constexpr const char* kEnginePreferencesKey = "Software\\Norvale\\RiloEJTransPref";

inline void WriteRegistryString(const char* key, const char* name, const std::string& value) {
    raw::Set(key, name, win32::REG_SZ, value + '\0');
}

// The engine preferences that select the command translator running `command`.
inline void UseCommandEngine(const std::string& command, win32::DWORD timeoutSeconds = 60) {
    WriteRegistryString(kEnginePreferencesKey, "Engine", "command");
    WriteRegistryString(kEnginePreferencesKey, "Command", command);
    raw::SetDword(kEnginePreferencesKey, "TimeoutSeconds", timeoutSeconds);
}
