// The kernel objects behind a HANDLE on Linux: events, thread handles (signalled when the thread ends) and named
// mutexes (an advisory lock on a file). Used from any thread; reference counted, so that a thread can close its
// own handle while another thread still holds one.
//
// Events and thread handles hold no descriptor. Their state lives in memory under the object's lock, and a thread
// that waits registers a Waiter with each object it waits for; a Set hands its signal straight to a registered
// waiter and wakes it through that thread's own descriptor (its message queue's, or its wait descriptor). So an
// object costs a descriptor to nobody while nobody waits on it: a finished worker thread whose events wait for its
// owner's collection holds memory only, however many such threads pile up.
//
// Locks: each object's lock guards its state and its list of waiters; a Set wakes the waiter while holding it, so
// a waiter that has unregistered (under the same lock) is never touched again. A wait on all objects takes their
// locks together, in address order. No other lock is taken inside an object's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ThreadSafety.h"
#include "platform/Win32Types.h"

namespace win32::detail {

class MessageQueue;

// One thread's wait on one or several objects, registered with each of them while the wait lasts. A wait for any
// object is released by exactly one of them (Claim); a wait for all objects is only woken and takes the objects
// itself.
class Waiter {
public:
    static constexpr int kWaiting = -1;
    static constexpr int kLeft = -2;

    // queue: the waiting thread's queue for a message-aware wait (woken through it); null for a plain wait, which
    // is woken through the thread's wait descriptor (ThreadWaitFd).
    Waiter(bool waitAll, MessageQueue* queue, int waitFd) : waitAll(waitAll), queue(queue), waitFd(waitFd) {}
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    bool WaitsForAll() const { return waitAll; }
    // By a setter, under the object's lock: releases the waiter through the object at position index. False when
    // another object released it first or it has left.
    bool Claim(int index);
    // By a setter, under the object's lock.
    void Wake();
    // By the waiter: the position of the object that released it, or kWaiting.
    int Released() const { return released.load(std::memory_order_seq_cst); }
    // By the waiter, when it stops waiting for another reason: false if an object released it meanwhile (whose
    // signal it then owns).
    bool Leave();

    // The calling thread's descriptor for plain waits, made on first use and closed when the thread ends; -1 when
    // it cannot be made.
    static int ThreadWaitFd();

private:
    const bool waitAll;
    MessageQueue* const queue;
    const int waitFd;
    std::atomic<int> released{kWaiting};
};

class KernelObject {
public:
    enum class Kind { Event, Thread, Mutex };

    // Null when the object cannot be made.
    static KernelObject* NewEvent(bool manualReset, bool initialState);
    static KernelObject* NewThreadHandle();
    // Takes ownership of the descriptor that holds the lock (-1 for none).
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

    // Takes the signalled state now, if it is there: an auto-reset event is reset by it. A mutex always gives it.
    bool TryAcquire();
    // Registers a waiter at position index of its wait. A signal that is already there releases a waiter for any
    // object at once (and is consumed if auto-reset) instead of registering it.
    void AddWaiter(Waiter& waiter, int index);
    void RemoveWaiter(Waiter& waiter);
    // Takes every object at once or none (a wait for all); duplicates count once. It locks a set of objects
    // known only at run time, in address order, which the lock analysis cannot follow.
    static bool AcquireAll(KernelObject* const* objects, DWORD count) NO_THREAD_SAFETY_ANALYSIS;

    bool Set();
    bool Reset();
    // Releases the waiters for any object present now (one of them for an auto-reset event, all for a
    // manual-reset one) and leaves the object non-signalled.
    bool Pulse();

private:
    KernelObject(Kind kind, int lockFd, bool manualReset, bool signalled);
    ~KernelObject();

    bool IsAutoReset() const { return kind == Kind::Event && !manualReset; }
    void SetLocked();
    // Releases waiters for any object (one, or all when all is set); true when one was released.
    bool ReleaseWaiters(bool all) REQUIRES(lock);
    // Wakes the waiters for all objects, which look whether they can take them now.
    void WakeAllWaiters() REQUIRES(lock);

    static constexpr std::uint32_t kMagic = 0x4b4f424a;

    std::uint32_t magic = kMagic;
    const Kind kind;
    const int lockFd;
    const bool manualReset;
    std::atomic<int> references{1};

    win32::Mutex lock;
    bool signalled GUARDED_BY(lock);
    std::vector<std::pair<Waiter*, int>> waiters GUARDED_BY(lock);    // in the order they came
};

}  // namespace win32::detail
