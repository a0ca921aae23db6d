// The kernel objects behind a HANDLE on Linux: events (one eventfd each), thread handles (an eventfd set when the
// thread ends) and named mutexes (an advisory lock on a file). Used from any thread; reference counted, so that a
// thread can close its own handle while another thread still holds one.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/Win32Types.h"

namespace win32::detail {

class KernelObject {
public:
    enum class Kind { Event, Thread, Mutex };

    // Each returns null when the descriptor cannot be created.
    static KernelObject* NewEvent(bool manualReset, bool initialState);
    static KernelObject* NewThreadHandle();
    // Takes ownership of the descriptor that holds the lock.
    static KernelObject* NewMutex(int lockFd);
    // The object behind a handle, or null when the handle is not one of ours.
    static KernelObject* FromHandle(HANDLE handle);

    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    HANDLE AsHandle() { return this; }
    Kind GetKind() const { return kind; }
    void AddRef();
    // Drops one reference; the last one frees the object.
    void Release();

    // Descriptor that is readable while the object is signalled; -1 for objects that are always signalled.
    int PollFd() const { return kind == Kind::Mutex ? -1 : fd; }
    // Claims the signalled state for one waiter: an auto-reset event is reset atomically, so when several waiters
    // race for one set only one of them gets true. Manual-reset objects just report their state.
    bool TryAcquire();
    // Undoes a TryAcquire of an auto-reset event (a wait-all that could not take every object).
    void GiveBack();
    bool IsAutoReset() const { return kind == Kind::Event && !manualReset; }

    bool Set();
    bool Reset();
    bool Pulse();

    // Bookkeeping of the threads waiting on this object: an auto-reset Set releases one of them each, and
    // Pulse releases those present.
    void EnterWait();
    void LeaveWait();

private:
    KernelObject(Kind kind, int fd, bool manualReset);
    ~KernelObject();

    static constexpr std::uint32_t kMagic = 0x4b4f424a;

    std::uint32_t magic = kMagic;
    const Kind kind;
    const int fd;
    const bool manualReset;
    std::atomic<int> references{1};
    std::atomic<int> waiters{0};
    // Advanced by every Set and read by every successful wait, so that what the setter wrote before Set is
    // visibly ordered before what the waiter does after (the eventfd alone says so only to the kernel, not to
    // the language's memory model and its race detectors).
    std::atomic<std::uint64_t> setSequence{0};

    // An auto-reset event is a semaphore eventfd whose counter holds one token per release still to be taken:
    // one for each Set that found a waiter not yet released (granted), plus one while the event is signalled
    // with nobody to release. A waiter that takes a token is released; so two quick Sets release two waiters,
    // while Sets with nobody waiting collapse into one signalled state.
    std::mutex tokenLock;
    int granted = 0;          // guarded by tokenLock
    bool signalled = false;   // guarded by tokenLock
    int waitersPresent = 0;   // guarded by tokenLock
};

}  // namespace win32::detail
