#include "core/ZWaitLock.h"

#include "platform/Sync.h"

ZWaitLock::ZWaitLock(ZWaitable& object, bool acquireNow) : object(object), handle(object.Handle())
{
    if (acquireNow) {
        Acquire(win32::INFINITE);
    }
}

ZWaitLock::~ZWaitLock()
{
    Unlock();
}

bool ZWaitLock::Acquire(win32::DWORD timeout)
{
    acquired = object.Wait(timeout);
    return acquired;
}

bool ZWaitLock::Unlock()
{
    if (acquired) {
        acquired = !object.Release();
    }
    return !acquired;
}
