#include "core/SyncEvent.h"

#include "core/CreateEventException.h"
#include "core/SetEventException.h"
#include "platform/Sync.h"

SyncEvent::~SyncEvent()
{
    if (const win32::HANDLE event = handle.load(); event != nullptr) {
        win32::CloseHandle(event);
    }
}

win32::HANDLE SyncEvent::Create()
{
    if (const win32::HANDLE event = Handle(); event != nullptr) {
        return event;
    }
    win32::LockGuard creationGuard(creationLock);
    win32::HANDLE event = handle.load(std::memory_order_relaxed);
    if (event == nullptr) {
        event = win32::CreateEvent(nullptr, IsManualReset() ? win32::TRUE : win32::FALSE, win32::FALSE, nullptr);
        if (event == nullptr) {
            throw CreateEventException();
        }
        handle.store(event, std::memory_order_release);
    }
    return event;
}

void SyncEvent::Set()
{
    const win32::HANDLE event = Handle();
    if (event == nullptr || win32::SetEvent(event) == win32::FALSE) {
        throw SetEventException();
    }
}
