// The hand-over of signals to waiters registered from other threads keeps the events' semantics.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Sync.h"
#include "support/ScopedEvent.h"

namespace {

using win32::HANDLE;
using namespace std::chrono_literals;

// Repeats step until done() holds or five seconds have passed: a waiter on another thread registers a moment after
// it was started, and only a waiter that is registered can be released by a pulse.
template <typename Step, typename Done>
bool Until(Step step, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        step();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

// A manual-reset pulse releases every waiter present, an auto-reset one one waiter at a time; either leaves the event
// clear. Plain and message-aware waiters.
TEST(Waiter, PulseReleasesTheWaitersItsKindAllows)
{
    struct Case {
        const char* name;
        bool manualReset;
        int waiters;
        int releasedPerPulse;
    };
    for (const Case c : {Case{"manual reset", true, 3, 3}, Case{"auto reset", false, 2, 1}}) {
        SCOPED_TRACE(c.name);
        ScopedEvent event(c.manualReset);
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < c.waiters; ++i) {
            waiters.emplace_back([&, messageAware = i % 2 == 1] {
                EXPECT_EQ(messageAware ? win32::MsgWaitForMultipleObjectsEx(1, &event.handle, 10000, 0, 0)
                                       : win32::WaitForSingleObject(event.handle, 10000),
                          win32::WAIT_OBJECT_0);
                ++released;
            });
        }
        for (int target = c.releasedPerPulse; target <= c.waiters; target += c.releasedPerPulse) {
            EXPECT_TRUE(Until([&] { win32::PulseEvent(event.handle); }, [&] { return released.load() >= target; }));
        }
        for (std::thread& waiter : waiters) {
            waiter.join();
        }
        EXPECT_EQ(win32::WaitForSingleObject(event.handle, 0), win32::WAIT_TIMEOUT);
    }
}

TEST(Waiter, WaitForAllEndsWhenTheLastObjectIsSetFromAnotherThread)
{
    struct Case {
        const char* name;
        bool messageAware;
    };
    for (const Case c : {Case{"plain", false}, Case{"message-aware", true}}) {
        SCOPED_TRACE(c.name);
        ScopedEvent first(false, true);
        ScopedEvent second(true);
        const HANDLE handles[] = {first.handle, second.handle};
        std::thread setter([&] {
            // Usually after the wait has begun (the wake-up path); a set before it is taken at once, also right.
            std::this_thread::sleep_for(20ms);
            win32::SetEvent(second.handle);
        });
        const win32::DWORD result =
            c.messageAware ? win32::MsgWaitForMultipleObjects(2, handles, win32::TRUE, 10000, win32::QS_ALLINPUT)
                           : win32::WaitForMultipleObjects(2, handles, win32::TRUE, 10000);
        setter.join();
        EXPECT_EQ(result, win32::WAIT_OBJECT_0);
        // The auto-reset one was taken, the manual-reset one stays set.
        EXPECT_EQ(win32::WaitForSingleObject(first.handle, 0), win32::WAIT_TIMEOUT);
        EXPECT_EQ(win32::WaitForSingleObject(second.handle, 0), win32::WAIT_OBJECT_0);
    }
}

TEST(Waiter, TimedOutWaiterDoesNotSwallowALaterSet)
{
    ScopedEvent event;
    for (int i = 0; i < 50; ++i) {
        std::thread waiter([&] { win32::WaitForSingleObject(event.handle, 1); });
        waiter.join();
    }
    win32::SetEvent(event.handle);
    EXPECT_EQ(win32::WaitForSingleObject(event.handle, 0), win32::WAIT_OBJECT_0);
}
