// Base class of every worker thread: runs OnThreadBegin, then one DoWork per wake-up until a stop is requested,
// then OnThreadEnd, on a thread of its own. Owners start it with Start and end it with StopAndWait (from any
// thread but its own); wakeEvent may be set from any thread.
#pragma once

#include <atomic>
#include <mutex>

#include "core/ZEvent.h"
#include "platform/ThreadSafety.h"

class ZThinThread {
public:
    ZThinThread();
    // Does not stop the thread: the owner calls StopAndWait first.
    virtual ~ZThinThread() = default;
    ZThinThread(const ZThinThread&) = delete;
    ZThinThread& operator=(const ZThinThread&) = delete;

    virtual void RequestStop();

    void Start(unsigned stackSize, void* security, win32::DWORD interval);
    // Requests the stop, wakes the thread and waits (dispatching the caller's messages) until it has run its end
    // hook; the object may be destroyed on return.
    void StopAndWait();

    bool IsRunning() const { return running; }
    // Lets the loop run DoWork once more; several wake-ups before it runs count as one.
    void Wake() { wakeEvent.Set(); }

protected:
    virtual void OnThreadBegin() {}
    virtual void DoWork() = 0;
    virtual void OnThreadEnd() {}

    ZEvent wakeEvent;
    ZEvent doneEvent;
    win32::DWORD interval = win32::INFINITE;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    // Start stores the handle while the new thread may already be finishing; the lock makes the thread take
    // aside the stored handle, never an empty one.
    win32::Mutex threadHandleLock;
    win32::HANDLE threadHandle GUARDED_BY(threadHandleLock) = nullptr;

private:
    static unsigned ThreadProcedure(void* argument);
};
