#include "platform/WaitLinux.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/KernelObjectLinux.h"
#include "platform/MessageQueueLinux.h"

namespace win32::detail {

namespace {

constexpr DWORD kMaximumWaitObjects = 64;
constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;

std::int64_t NowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Keeps the objects alive while the wait uses them, even if another thread closes their handles meanwhile.
class HeldObjects {
public:
    HeldObjects(KernelObject* const* objects, DWORD count) : objects(objects), count(count)
    {
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->AddRef();
        }
    }
    ~HeldObjects()
    {
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->Release();
        }
    }
    HeldObjects(const HeldObjects&) = delete;
    HeldObjects& operator=(const HeldObjects&) = delete;

private:
    KernelObject* const* objects;
    DWORD count;
};

// The waiter's registration with every object, for as long as it waits. Registration stops at the first object
// that releases it at once: the objects after it are not needed any more.
class Registration {
public:
    Registration(KernelObject* const* objects, DWORD count, Waiter& waiter) : objects(objects), waiter(waiter)
    {
        for (; registered < count && waiter.Released() == Waiter::kWaiting; ++registered) {
            objects[registered]->AddWaiter(waiter, static_cast<int>(registered));
        }
    }
    ~Registration()
    {
        for (DWORD i = 0; i < registered; ++i) {
            objects[i]->RemoveWaiter(waiter);
        }
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    KernelObject* const* objects;
    Waiter& waiter;
    DWORD registered = 0;
};

void DrainWaitFd(int fd)
{
    std::uint64_t value;
    while (::read(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

}  // namespace

DWORD WaitForObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds, DWORD wakeMask,
                     MessageQueue* queue)
{
    if (count > kMaximumWaitObjects || (count > 0 && handles == nullptr)) {
        return WAIT_FAILED;
    }
    std::array<KernelObject*, kMaximumWaitObjects> objects{};
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = KernelObject::FromHandle(handles[i]);
        if (objects[i] == nullptr) {
            return WAIT_FAILED;
        }
    }
    const HeldObjects held(objects.data(), count);
    if ((wakeMask & QS_POSTMESSAGE) != 0) {
        wakeMask |= QS_ALLPOSTMESSAGE;
    }

    // What is signalled already is taken without registering (and without any descriptor).
    if (waitAll) {
        if (count > 0 && KernelObject::AcquireAll(objects.data(), count)) {
            return WAIT_OBJECT_0;
        }
    } else {
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->TryAcquire()) {
                return WAIT_OBJECT_0 + i;
            }
        }
    }
    // A message-aware wait is woken through the thread's queue; a plain one through the thread's wait descriptor.
    int waitFd = -1;
    if (queue == nullptr) {
        if (milliseconds == 0) {
            return WAIT_TIMEOUT;
        }
        waitFd = Waiter::ThreadWaitFd();
        if (waitFd < 0) {
            return WAIT_FAILED;
        }
    }
    Waiter waiter(waitAll, queue, waitFd);
    const Registration registration(objects.data(), count, waiter);
    // Ends the wait for a reason other than an object; an object that released the waiter meanwhile wins, since
    // its signal has been handed to this wait.
    auto finish = [&waiter](DWORD result) {
        return waiter.Leave() ? result : WAIT_OBJECT_0 + static_cast<DWORD>(waiter.Released());
    };

    const bool infinite = milliseconds == INFINITE;
    const std::int64_t deadline = infinite ? 0 : NowMilliseconds() + milliseconds;
    std::vector<pollfd> fds;
    fds.reserve(8);
    bool first = true;

    for (;;) {
        // Looked at before every poll: a handler run inside this wait may have drained the wake-up.
        if (const int index = waiter.Released(); index >= 0) {
            return WAIT_OBJECT_0 + static_cast<DWORD>(index);
        }
        if (waitAll && count > 0 && KernelObject::AcquireAll(objects.data(), count)) {
            return WAIT_OBJECT_0;
        }
        bool inputPending = false;
        if (queue != nullptr) {
            const bool served = queue->ServeSentMessages();
            inputPending = (served && (wakeMask & QS_SENDMESSAGE) != 0) || queue->HasInput(wakeMask);
        }
        int timeout = -1;
        if (inputPending) {
            timeout = 0;
        } else if (!infinite) {
            const std::int64_t remaining = deadline - NowMilliseconds();
            if (remaining <= 0 && !first) {
                return finish(WAIT_TIMEOUT);
            }
            timeout = remaining > 0 ? static_cast<int>(remaining) : 0;
        }
        if (queue != nullptr && !inputPending && (wakeMask & QS_TIMER) != 0) {
            const int untilTimer = queue->MillisecondsToNextTimer();
            if (untilTimer >= 0 && (timeout < 0 || untilTimer < timeout)) {
                timeout = untilTimer;
            }
        }
        first = false;

        fds.clear();
        if (waitFd >= 0) {
            fds.push_back(pollfd{waitFd, POLLIN, 0});
        }
        const std::size_t queueBase = fds.size();
        const bool pollQueue = queue != nullptr && !inputPending;
        if (pollQueue) {
            queue->AppendPollFds(fds);
        }
        if (fds.empty() && timeout == 0) {
            return finish(inputPending ? WAIT_OBJECT_0 + count : WAIT_TIMEOUT);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return finish(WAIT_FAILED);
        }
        if (waitFd >= 0 && fds[0].revents != 0) {
            DrainWaitFd(waitFd);
        }
        if (pollQueue) {
            queue->HandlePollResults(fds.data() + queueBase);
        }
        if (inputPending) {
            return finish(WAIT_OBJECT_0 + count);
        }
    }
}

}  // namespace win32::detail
