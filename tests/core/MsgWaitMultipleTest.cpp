#include "core/MsgWaitMultiple.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/ZEvent.h"
#include "platform/RecordingWindow.h"

namespace {

constexpr win32::DWORD kAnyInput = 0xFF;

// The emulation used without the system's message-aware wait (with it, the wait only forwards, and every notifier
// test goes through it).
class MsgWaitMultipleTest : public testing::Test {
protected:
    void SetUp() override { win32::SetEntryPointHidden("MsgWaitForMultipleObjectsEx", true); }
    void TearDown() override
    {
        win32::SetEntryPointHidden("MsgWaitForMultipleObjectsEx", false);
        PumpPending();  // leave no message behind for the next case
    }
};

// A signalled handle, then a timeout in the first slice and across slices, then a posted message, which the
// wait reports with the count and leaves queued.
TEST_F(MsgWaitMultipleTest, ReportsHandlesTimeoutsAndPostedMessages)
{
    ZEvent first(false, false);
    ZEvent second(true, false);
    const win32::HANDLE handles[] = {first.Handle(), second.Handle()};
    EXPECT_EQ(MsgWaitMultiple(2, handles, win32::INFINITE, kAnyInput, 0), win32::WAIT_OBJECT_0 + 1);
    for (const win32::DWORD timeout : {0, 1, 260}) {  // 260 ms spans more than one slice of the emulation
        SCOPED_TRACE(timeout);
        EXPECT_EQ(MsgWaitMultiple(2, handles, timeout, kAnyInput, 0), win32::WAIT_TIMEOUT);
    }
    win32::MSG message;
    win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_NOREMOVE);  // a thread's queue is made on first use
    ASSERT_TRUE(win32::PostThreadMessage(win32::GetCurrentThreadId(), win32::WM_USER, 0, 0));
    EXPECT_EQ(MsgWaitMultiple(1, handles, win32::INFINITE, kAnyInput, 0), win32::WAIT_OBJECT_0 + 1);
    ASSERT_TRUE(win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_REMOVE));
    EXPECT_EQ(message.message, win32::WM_USER);
}

TEST_F(MsgWaitMultipleTest, ServesMessagesSentByAnotherThreadWhileWaiting)
{
    std::atomic<int> pings{0};
    RecordingWindow window;
    window.reply = [&](const RecordedMessage&) { return ++pings; };
    ZEvent done(false, false);
    const win32::HANDLE handles[] = {done.Handle()};
    std::atomic<win32::LRESULT> answer{0};
    // The sender blocks until the waiting thread has handled its message, and only then releases the wait.
    std::thread sender([&] {
        answer = win32::SendMessage(window.Handle(), win32::WM_USER, 0, 0);
        done.Set();
    });
    win32::DWORD result = win32::WAIT_FAILED;
    for (int round = 0; round < 100; ++round) {
        result = MsgWaitMultiple(1, handles, win32::INFINITE, kAnyInput, 0);
        if (result != win32::WAIT_OBJECT_0 + 1) {
            break;
        }
        PumpPending();
    }
    sender.join();
    EXPECT_EQ(result, win32::WAIT_OBJECT_0);
    EXPECT_EQ(answer.load(), 1);
    EXPECT_EQ(pings.load(), 1);
}

}  // namespace
