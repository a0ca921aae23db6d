#include "platform/WaitLinux.h"

#include <poll.h>

#include <array>
#include <cerrno>
#include <chrono>
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

// Counts the caller among the waiters of each object for as long as it waits (PulseEvent needs to know).
class WaiterCount {
public:
    WaiterCount(KernelObject* const* objects, DWORD count) : objects(objects), count(count)
    {
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->EnterWait();
        }
    }
    ~WaiterCount()
    {
        for (DWORD i = 0; i < count; ++i) {
            objects[i]->LeaveWait();
        }
    }
    WaiterCount(const WaiterCount&) = delete;
    WaiterCount& operator=(const WaiterCount&) = delete;

private:
    KernelObject* const* objects;
    DWORD count;
};

// Takes every object at once or none of them.
bool AcquireAll(KernelObject* const* objects, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        if (!objects[i]->TryAcquire()) {
            for (DWORD j = 0; j < i; ++j) {
                objects[j]->GiveBack();
            }
            return false;
        }
    }
    return true;
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
    if ((wakeMask & QS_POSTMESSAGE) != 0) {
        wakeMask |= QS_ALLPOSTMESSAGE;
    }
    const WaiterCount waiting(objects.data(), count);
    const bool infinite = milliseconds == INFINITE;
    const std::int64_t deadline = infinite ? 0 : NowMilliseconds() + milliseconds;
    std::array<bool, kMaximumWaitObjects> seenReady{};
    std::vector<pollfd> fds;
    fds.reserve(count + 8);
    bool first = true;

    for (;;) {
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
                return WAIT_TIMEOUT;
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
        for (DWORD i = 0; i < count; ++i) {
            const int fd = objects[i]->PollFd();
            if (fd < 0 && !waitAll) {
                return WAIT_OBJECT_0 + i;  // an object that is always signalled (a mutex)
            }
            fds.push_back(pollfd{waitAll && seenReady[i] ? -1 : fd, POLLIN, 0});
        }
        const std::size_t queueBase = fds.size();
        const bool pollQueue = queue != nullptr && !inputPending;
        if (pollQueue) {
            queue->AppendPollFds(fds);
        }
        if (fds.empty() && timeout == 0) {
            return inputPending ? WAIT_OBJECT_0 + count : WAIT_TIMEOUT;
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WAIT_FAILED;
        }

        if (waitAll) {
            bool all = true;
            for (DWORD i = 0; i < count; ++i) {
                seenReady[i] = seenReady[i] || objects[i]->PollFd() < 0 || (fds[i].revents & POLLIN) != 0;
                all = all && seenReady[i];
            }
            if (all && count > 0) {
                if (AcquireAll(objects.data(), count)) {
                    return WAIT_OBJECT_0;
                }
                seenReady.fill(false);
            }
        } else {
            for (DWORD i = 0; i < count; ++i) {
                // An auto-reset event that another waiter took first is not ours: poll again.
                if ((fds[i].revents & POLLIN) != 0 && objects[i]->TryAcquire()) {
                    return WAIT_OBJECT_0 + i;
                }
            }
        }
        if (pollQueue) {
            queue->HandlePollResults(fds.data() + queueBase);
        }
        if (inputPending) {
            return WAIT_OBJECT_0 + count;
        }
    }
}

}  // namespace win32::detail
