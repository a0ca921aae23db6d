// Threads here: the owner (Start, StopAndWait, destruction), any thread (RequestStop, Wake) and the object's own
// thread (ThreadProcedure and the hooks). Flags are atomics; the only lock is threadHandleLock, held for the
// moment it takes to store or take the thread handle. The own thread touches nothing of the object after it has
// set doneEvent, which is what lets the owner destroy the object as soon as StopAndWait returns.
#include "core/ZThinThread.h"

#include "core/ZWaitLock.h"
#include "platform/Sync.h"

ZThinThread::ZThinThread() : wakeEvent(false, false), doneEvent(true, true) {}

void ZThinThread::RequestStop()
{
    stopRequested = true;
}

void ZThinThread::Start(unsigned stackSize, void* security, win32::DWORD waitInterval)
{
    running = true;
    stopRequested = false;
    interval = waitInterval;
    doneEvent.Reset();
    bool started = false;
    {
        win32::LockGuard handleGuard(threadHandleLock);
        threadHandle = win32::BeginThread(security, stackSize, &ZThinThread::ThreadProcedure, this, 0, nullptr);
        started = threadHandle != nullptr;
    }
    if (!started) {
        // No thread will ever set doneEvent; leave the object as a finished thread so StopAndWait returns.
        running = false;
        doneEvent.Set();
    }
}

void ZThinThread::StopAndWait()
{
    RequestStop();
    wakeEvent.Set();
    ZWaitLock done(doneEvent, false);
    done.Acquire(win32::INFINITE);
    done.Unlock();
}

unsigned ZThinThread::ThreadProcedure(void* argument)
{
    auto* self = static_cast<ZThinThread*>(argument);
    {
        // The lock ends before doneEvent is set: nothing on this stack may touch the object after that.
        ZWaitLock wake(self->wakeEvent, false);
        self->OnThreadBegin();
        while (!self->stopRequested) {
            wake.Acquire(self->interval);
            wake.Unlock();
            if (self->stopRequested) {
                break;
            }
            self->DoWork();
        }
        self->OnThreadEnd();
    }
    self->running = false;
    win32::HANDLE ownHandle = nullptr;
    {
        win32::LockGuard handleGuard(self->threadHandleLock);
        ownHandle = self->threadHandle;
        self->threadHandle = nullptr;
    }
    self->doneEvent.Set();
    // From here on the owner may already have destroyed the object.
    if (ownHandle != nullptr) {
        win32::CloseHandle(ownHandle);
    }
    win32::EndThread(0);
}
