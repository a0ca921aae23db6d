// A waitable kernel object: owns its handle and waits on it while the calling thread keeps dispatching its
// window messages, so that a thread owning windows or receiving sent messages never stalls them.
#pragma once

#include "platform/Win32Types.h"

class ZWaitable {
public:
    ZWaitable() = default;
    ZWaitable(const ZWaitable&) = delete;
    ZWaitable& operator=(const ZWaitable&) = delete;

    virtual ~ZWaitable();
    // Returns true once the object is signalled; false when the wait itself fails. The timeout is accepted for the
    // interface's sake: the wait is always without limit.
    virtual bool Wait(win32::DWORD timeout);
    // Extension point of the interface for objects that take a control request; plain objects accept any.
    virtual bool Control(win32::DWORD, win32::DWORD) { return true; }
    // Gives back an acquisition made by Wait.
    virtual bool Release() = 0;

    win32::HANDLE Handle() const { return handle; }

protected:
    win32::HANDLE handle = nullptr;
};
