// A scoped acquisition of a ZWaitable: acquired by Wait, given back by Release when the lock ends. Used by the
// thread that made it only.
#pragma once

#include "core/ZWaitable.h"

class ZWaitLock {
public:
    ZWaitLock(ZWaitable& object, bool acquireNow);
    ~ZWaitLock();
    ZWaitLock(const ZWaitLock&) = delete;
    ZWaitLock& operator=(const ZWaitLock&) = delete;

    bool Acquire(win32::DWORD timeout);
    // Returns true when nothing is held any more.
    bool Unlock();
    bool IsAcquired() const { return acquired; }
    win32::HANDLE Handle() const { return handle; }

private:
    ZWaitable& object;
    win32::HANDLE handle;
    bool acquired = false;
};
