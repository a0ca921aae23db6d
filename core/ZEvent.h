// A kernel event (auto- or manual-reset) owned by its creator; set, pulsed and reset from any thread.
#pragma once

#include "core/ZWaitable.h"

class ZEvent : public ZWaitable {
public:
    // The event is created at once; Handle() is null when that failed.
    ZEvent(bool initiallySignalled, bool manualReset, const char* name = nullptr, void* security = nullptr);
    ~ZEvent() override = default;

    // An event is not owned by its waiter, so there is nothing to give back.
    bool Release() override { return true; }
    virtual bool Set();
    virtual bool Pulse();
    virtual bool Reset();
};
