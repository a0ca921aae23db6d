#include "core/ZEvent.h"

#include "platform/Sync.h"

ZEvent::ZEvent(bool initiallySignalled, bool manualReset, const char* name, void* security)
{
    handle = win32::CreateEvent(security, manualReset ? win32::TRUE : win32::FALSE,
                                initiallySignalled ? win32::TRUE : win32::FALSE, name);
}

bool ZEvent::Set()
{
    return win32::SetEvent(handle) != win32::FALSE;
}

bool ZEvent::Pulse()
{
    return win32::PulseEvent(handle) != win32::FALSE;
}

bool ZEvent::Reset()
{
    return win32::ResetEvent(handle) != win32::FALSE;
}
