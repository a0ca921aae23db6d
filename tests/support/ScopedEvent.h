// An event object of the platform layer that a test owns and closes at its end.
#pragma once

#include "platform/Sync.h"

struct ScopedEvent {
    explicit ScopedEvent(bool manualReset = false, bool initialState = false)
        : handle(win32::CreateEvent(nullptr, manualReset ? win32::TRUE : win32::FALSE,
                                    initialState ? win32::TRUE : win32::FALSE, nullptr)) {}
    ~ScopedEvent() { win32::CloseHandle(handle); }
    ScopedEvent(const ScopedEvent&) = delete;
    ScopedEvent& operator=(const ScopedEvent&) = delete;

    win32::HANDLE handle;
};
