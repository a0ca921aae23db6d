// Events and thread handles cost no descriptor while nobody waits on them, a waiting thread's descriptor goes with
// the thread, and the hand-over of signals to registered waiters keeps the events' semantics between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Sync.h"
#include "support/ProcessCounts.h"
#include "support/ScopedEvent.h"

namespace {

using win32::HANDLE;
using namespace std::chrono_literals;

unsigned WaitOnEvent(void* argument)
{
    win32::WaitForSingleObject(static_cast<HANDLE>(argument), win32::INFINITE);
    return 0;
}

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

TEST(Waiter, ThousandsOfEventsAndFinishedThreadHandlesHoldNoDescriptor)
{
    const int before = OpenDescriptorCount();
    {
        std::vector<std::unique_ptr<ScopedEvent>> events;
        for (int i = 0; i < 2000; ++i) {
            events.push_back(std::make_unique<ScopedEvent>(i % 2 == 0, i % 3 == 0));
            win32::SetEvent(events.back()->handle);
        }
        EXPECT_EQ(OpenDescriptorCount(), before) << "an event that nobody waits on holds a descriptor";
    }
    // Threads that waited and ended, whose handles are still open (as a finished worker waiting for collection).
    std::vector<HANDLE> threads;
    std::vector<std::unique_ptr<ScopedEvent>> releases;
    for (int i = 0; i < 50; ++i) {
        releases.push_back(std::make_unique<ScopedEvent>());
        threads.push_back(win32::BeginThread(nullptr, 0, &WaitOnEvent, releases.back()->handle, 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    for (const auto& release : releases) {
        win32::SetEvent(release->handle);
    }
    for (const HANDLE thread : threads) {
        ASSERT_EQ(win32::WaitForSingleObject(thread, 10000), win32::WAIT_OBJECT_0);
    }
    // A thread's wait descriptor is closed as it exits, a moment after its handle is signalled.
    EXPECT_TRUE(Until([] {}, [&] { return OpenDescriptorCount() <= before + 1; }))
        << OpenDescriptorCount() << " descriptors open, " << before << " before (one may be this thread's own)";
    for (const HANDLE thread : threads) {
        win32::CloseHandle(thread);
    }
}

TEST(Waiter, ManualResetPulseReleasesEveryWaiterPresentAndLeavesTheEventClear)
{
    ScopedEvent event(true);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(win32::MsgWaitForMultipleObjectsEx(1, &event.handle, 10000, 0, 0), win32::WAIT_OBJECT_0);
            ++released;
        });
    }
    EXPECT_TRUE(Until([&] { win32::PulseEvent(event.handle); }, [&] { return released.load() == 3; }));
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(win32::WaitForSingleObject(event.handle, 0), win32::WAIT_TIMEOUT);
}

TEST(Waiter, AutoResetPulseReleasesOneWaiterAtATime)
{
    ScopedEvent event;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(win32::WaitForSingleObject(event.handle, 10000), win32::WAIT_OBJECT_0);
            ++released;
        });
    }
    EXPECT_TRUE(Until([&] { win32::PulseEvent(event.handle); }, [&] { return released.load() >= 1; }));
    EXPECT_TRUE(Until([&] { win32::PulseEvent(event.handle); }, [&] { return released.load() == 2; }));
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(win32::WaitForSingleObject(event.handle, 0), win32::WAIT_TIMEOUT);
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
