// An auto-reset event created on first need, for the socket notifier's signals and the relay's data signal.
// Created, set and waited on from any thread; creation is serialised so one slot never gets two events.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/ThreadSafety.h"
#include "platform/Win32Types.h"

class SyncEvent {
public:
    SyncEvent() = default;
    virtual ~SyncEvent();
    SyncEvent(const SyncEvent&) = delete;
    SyncEvent& operator=(const SyncEvent&) = delete;

    virtual bool IsManualReset() const { return false; }

    // The event's handle, created (unnamed, not signalled, default security) if it does not exist yet.
    // Throws CreateEventException when it cannot be created.
    win32::HANDLE Create();
    // Throws SetEventException when there is no event or the set fails.
    void Set();
    // Null until the event has been created.
    win32::HANDLE Handle() const { return handle.load(std::memory_order_acquire); }

private:
    win32::Mutex creationLock;
    std::atomic<win32::HANDLE> handle{nullptr};
};
