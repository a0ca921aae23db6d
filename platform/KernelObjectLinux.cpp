#include "platform/KernelObjectLinux.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

namespace win32::detail {

namespace {

// A manual-reset pulse keeps the event set until the threads that were waiting have left their waits, but never
// longer than this.
constexpr auto kPulseGrace = std::chrono::milliseconds(20);

int NewEventFd(bool initialState, bool semaphore = false)
{
    return ::eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC | (semaphore ? EFD_SEMAPHORE : 0));
}

bool WriteOne(int fd)
{
    const std::uint64_t one = 1;
    for (;;) {
        if (::write(fd, &one, sizeof one) == sizeof one) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

// Reads the counter to zero (one token of a semaphore eventfd); false when it was zero.
bool Drain(int fd)
{
    std::uint64_t value = 0;
    for (;;) {
        if (::read(fd, &value, sizeof value) == sizeof value) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

KernelObject::KernelObject(Kind kind, int fd, bool manualReset) : kind(kind), fd(fd), manualReset(manualReset) {}

KernelObject::~KernelObject()
{
    magic = 0;
    if (fd >= 0) {
        ::close(fd);
    }
}

KernelObject* KernelObject::NewEvent(bool manualReset, bool initialState)
{
    const int fd = NewEventFd(initialState, !manualReset);
    if (fd < 0) {
        return nullptr;
    }
    auto* object = new KernelObject(Kind::Event, fd, manualReset);
    object->signalled = initialState;
    return object;
}

KernelObject* KernelObject::NewThreadHandle()
{
    const int fd = NewEventFd(false);
    return fd < 0 ? nullptr : new KernelObject(Kind::Thread, fd, true);
}

KernelObject* KernelObject::NewMutex(int lockFd)
{
    return new KernelObject(Kind::Mutex, lockFd, true);
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

void KernelObject::EnterWait()
{
    waiters.fetch_add(1, std::memory_order_relaxed);
    if (IsAutoReset()) {
        std::scoped_lock guard(tokenLock);
        ++waitersPresent;
    }
}

void KernelObject::LeaveWait()
{
    waiters.fetch_sub(1, std::memory_order_release);
    if (IsAutoReset()) {
        std::scoped_lock guard(tokenLock);
        --waitersPresent;
        // A release granted to a waiter that left for another reason (a timeout, another object) becomes the
        // signalled state, as if the Set had come after it left.
        while (granted > waitersPresent) {
            --granted;
            if (!signalled) {
                signalled = true;
            } else {
                Drain(fd);
            }
        }
    }
}

bool KernelObject::TryAcquire()
{
    if (kind == Kind::Mutex) {
        return true;
    }
    if (IsAutoReset()) {
        std::scoped_lock guard(tokenLock);
        if (!Drain(fd)) {
            return false;
        }
        if (granted > 0) {
            --granted;
        } else {
            signalled = false;
        }
    } else {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 0) != 1) {
            return false;
        }
    }
    setSequence.load(std::memory_order_acquire);
    return true;
}

void KernelObject::GiveBack()
{
    if (IsAutoReset()) {
        std::scoped_lock guard(tokenLock);
        if (!signalled) {
            signalled = true;
            WriteOne(fd);
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
    setSequence.fetch_add(1, std::memory_order_release);
    bool result = true;
    if (!IsAutoReset()) {
        result = WriteOne(fd);
    } else {
        std::scoped_lock guard(tokenLock);
        if (granted < waitersPresent) {
            ++granted;
            result = WriteOne(fd);
        } else if (!signalled) {
            signalled = true;
            result = WriteOne(fd);
        }
    }
    Release();
    return result;
}

bool KernelObject::Reset()
{
    if (kind == Kind::Mutex) {
        return false;
    }
    if (!IsAutoReset()) {
        Drain(fd);
        return true;
    }
    std::scoped_lock guard(tokenLock);
    if (signalled) {
        signalled = false;
        Drain(fd);
    }
    return true;
}

bool KernelObject::Pulse()
{
    if (kind != Kind::Event) {
        return false;
    }
    if (IsAutoReset()) {
        // Releases one waiter if there is one; never leaves the event signalled.
        AddRef();
        setSequence.fetch_add(1, std::memory_order_release);
        bool result = true;
        {
            std::scoped_lock guard(tokenLock);
            if (signalled) {
                signalled = false;
                Drain(fd);
            }
            if (granted < waitersPresent) {
                ++granted;
                result = WriteOne(fd);
            }
        }
        Release();
        return result;
    }
    const int present = waiters.load(std::memory_order_acquire);
    if (present == 0) {
        return Reset();
    }
    if (!Set()) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kPulseGrace;
    while (waiters.load(std::memory_order_acquire) >= present && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    return Reset();
}

}  // namespace win32::detail
