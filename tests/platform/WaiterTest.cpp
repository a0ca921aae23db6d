// Events and thread handles cost no descriptor while nobody waits on them, a waiting thread's descriptor goes with
// the thread, and a waiter that timed out leaves nothing behind that could take a later signal.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/Sync.h"
#include "support/Eventually.h"
#include "support/ProcessCounts.h"
#include "support/ScopedEvent.h"

namespace {

using win32::HANDLE;

unsigned WaitOnEvent(void* argument)
{
    win32::WaitForSingleObject(static_cast<HANDLE>(argument), win32::INFINITE);
    return 0;
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
    EXPECT_TRUE(Eventually([&] { return OpenDescriptorCount() <= before + 1; }))
        << OpenDescriptorCount() << " descriptors open, " << before << " before (one may be this thread's own)";
    for (const HANDLE thread : threads) {
        win32::CloseHandle(thread);
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
