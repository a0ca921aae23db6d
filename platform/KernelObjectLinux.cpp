#include "platform/KernelObjectLinux.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/MessageQueueLinux.h"
#include "platform/ThreadSafety.h"

namespace win32::detail {

namespace {

// The descriptor that wakes this thread's plain waits; closed with the thread.
struct ThreadWaitDescriptor {
    int fd = -1;
    ~ThreadWaitDescriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};
thread_local ThreadWaitDescriptor threadWaitDescriptor;

constexpr DWORD kMaximumObjects = 64;

}  // namespace

int Waiter::ThreadWaitFd()
{
    if (threadWaitDescriptor.fd < 0) {
        threadWaitDescriptor.fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    return threadWaitDescriptor.fd;
}

bool Waiter::Claim(int index)
{
    int expected = kWaiting;
    // Sequentially consistent with the waiter's reads and with the queue's wake-up flag: a waiter that finds its
    // wake-up already drained still sees the claim that came with it.
    return released.compare_exchange_strong(expected, index, std::memory_order_seq_cst);
}

bool Waiter::Leave()
{
    int expected = kWaiting;
    return released.compare_exchange_strong(expected, kLeft, std::memory_order_seq_cst);
}

void Waiter::Wake()
{
    if (queue != nullptr) {
        queue->Wake();
        return;
    }
    const std::uint64_t one = 1;
    while (::write(waitFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

KernelObject::KernelObject(Kind kind, int lockFd, bool manualReset, bool signalled)
    : kind(kind), lockFd(lockFd), manualReset(manualReset), signalled(signalled)
{
}

KernelObject::~KernelObject()
{
    magic = 0;
    if (lockFd >= 0) {
        ::close(lockFd);
    }
}

KernelObject* KernelObject::NewEvent(bool manualReset, bool initialState)
{
    return new (std::nothrow) KernelObject(Kind::Event, -1, manualReset, initialState);
}

KernelObject* KernelObject::NewThreadHandle()
{
    return new (std::nothrow) KernelObject(Kind::Thread, -1, true, false);
}

KernelObject* KernelObject::NewMutex(int lockFd)
{
    return new KernelObject(Kind::Mutex, lockFd, true, true);
}

KernelObject* KernelObject::FromHandle(HANDLE handle)
{
    auto* object = static_cast<KernelObject*>(handle);
    if (object == nullptr || object->magic != kMagic) {
        return nullptr;
    }
    return object;
}

void KernelObject::AddRef()
{
    references.fetch_add(1, std::memory_order_relaxed);
}

void KernelObject::Release()
{
    if (references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
    }
}

bool KernelObject::TryAcquire()
{
    if (kind == Kind::Mutex) {
        return true;
    }
    win32::LockGuard guard(lock);
    if (!signalled) {
        return false;
    }
    if (IsAutoReset()) {
        signalled = false;
    }
    return true;
}

void KernelObject::AddWaiter(Waiter& waiter, int index)
{
    if (kind == Kind::Mutex) {
        if (!waiter.WaitsForAll()) {
            waiter.Claim(index);
        }
        return;
    }
    win32::LockGuard guard(lock);
    if (signalled && !waiter.WaitsForAll()) {
        // Released by what is there already; an auto-reset signal is its alone. Taken only if no other object
        // released the waiter first.
        if (waiter.Claim(index) && IsAutoReset()) {
            signalled = false;
        }
        return;
    }
    waiters.emplace_back(&waiter, index);
}

void KernelObject::RemoveWaiter(Waiter& waiter)
{
    if (kind == Kind::Mutex) {
        return;
    }
    win32::LockGuard guard(lock);
    std::erase_if(waiters, [&waiter](const std::pair<Waiter*, int>& entry) { return entry.first == &waiter; });
}

bool KernelObject::AcquireAll(KernelObject* const* objects, DWORD count)
{
    std::array<KernelObject*, kMaximumObjects> sorted{};
    if (count > kMaximumObjects) {
        return false;
    }
    std::copy(objects, objects + count, sorted.begin());
    std::sort(sorted.begin(), sorted.begin() + count);
    const auto end = std::unique(sorted.begin(), sorted.begin() + count);
    const std::size_t distinct = static_cast<std::size_t>(end - sorted.begin());

    // Locked in address order, so two waits for all on overlapping objects cannot lock each other out.
    std::array<std::unique_lock<win32::Mutex>, kMaximumObjects> guards;
    for (std::size_t i = 0; i < distinct; ++i) {
        if (sorted[i]->kind != Kind::Mutex) {
            guards[i] = std::unique_lock(sorted[i]->lock);
            if (!sorted[i]->signalled) {
                return false;
            }
        }
    }
    for (std::size_t i = 0; i < distinct; ++i) {
        if (sorted[i]->IsAutoReset()) {
            sorted[i]->signalled = false;
        }
    }
    return true;
}

bool KernelObject::ReleaseWaiters(bool all)
{
    bool any = false;
    for (const auto& [waiter, index] : waiters) {
        if (!waiter->WaitsForAll() && waiter->Claim(index)) {
            waiter->Wake();
            any = true;
            if (!all) {
                break;
            }
        }
    }
    return any;
}

void KernelObject::WakeAllWaiters()
{
    for (const auto& [waiter, index] : waiters) {
        if (waiter->WaitsForAll()) {
            waiter->Wake();
        }
    }
}

bool KernelObject::Set()
{
    if (kind == Kind::Mutex) {
        return false;
    }
    // The released waiter may close the handle at once; the object stays alive until this call is done.
    AddRef();
    SetLocked();
    Release();
    return true;
}

void KernelObject::SetLocked()
{
    win32::LockGuard guard(lock);
    if (IsAutoReset()) {
        // One waiter takes the signal; with nobody waiting for it alone, the event stays signalled (several Sets
        // then collapse into one).
        if (!ReleaseWaiters(false)) {
            signalled = true;
            WakeAllWaiters();
        }
        return;
    }
    signalled = true;
    ReleaseWaiters(true);
    WakeAllWaiters();
}

bool KernelObject::Reset()
{
    if (kind == Kind::Mutex) {
        return false;
    }
    win32::LockGuard guard(lock);
    signalled = false;
    return true;
}

bool KernelObject::Pulse()
{
    if (kind != Kind::Event) {
        return false;
    }
    AddRef();
    {
        win32::LockGuard guard(lock);
        ReleaseWaiters(manualReset);
        signalled = false;
    }
    Release();
    return true;
}

}  // namespace win32::detail
