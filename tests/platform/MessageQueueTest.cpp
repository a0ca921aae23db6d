#include <gtest/gtest.h>

#include <algorithm>

#include "RecordingWindow.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "support/ScopedEvent.h"

namespace {

// Default processing says yes to the end of the session; a destroyed window's handle stays recognisably dead.
TEST(Window, SendToOwnWindowRunsAtOnceAndNothingReachesItOnceDestroyed)
{
    RecordingWindow window;
    window.reply = [](const RecordedMessage& message) { return static_cast<win32::LRESULT>(message.wParam * 2); };
    EXPECT_EQ(win32::SendMessage(window.Handle(), win32::WM_USER, 21, 0), 42);
    window.reply = nullptr;
    EXPECT_EQ(win32::SendMessage(window.Handle(), win32::WM_QUERYENDSESSION, 0, 0), win32::TRUE);
    EXPECT_EQ(win32::SendMessage(window.Handle(), win32::WM_COMMAND, 0, 0), 0);

    const win32::HWND handle = window.Handle();
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.Handle(), nullptr);
    EXPECT_FALSE(win32::IsWindow(handle));
    EXPECT_FALSE(win32::DestroyWindow(handle));
    EXPECT_EQ(win32::SendMessage(handle, win32::WM_USER, 0, 0), 0);
    EXPECT_FALSE(win32::PostMessage(handle, win32::WM_USER, 0, 0));
}

TEST(MessageQueue, PostedMessagesArriveInOrderThenTheQuitEndsGetMessage)
{
    RecordingWindow window;
    for (win32::WPARAM i = 0; i < 5; ++i) {
        ASSERT_TRUE(win32::PostMessage(window.Handle(), win32::WM_USER + 1, i, 0));
    }
    win32::PostThreadMessage(win32::GetCurrentThreadId(), win32::WM_QUIT, 0, 0);
    win32::MSG message;
    for (int taken = 0; taken < 10 && win32::GetMessage(&message, nullptr, 0, 0) == win32::TRUE; ++taken) {
        win32::DispatchMessage(&message);
    }
    EXPECT_EQ(message.message, win32::WM_QUIT);
    ASSERT_EQ(window.messages.size(), 5u);
    for (win32::WPARAM i = 0; i < 5; ++i) {
        EXPECT_EQ(window.messages[i].wParam, i);
    }
    EXPECT_FALSE(win32::PeekMessage(&message, nullptr, 0, 0, win32::PM_REMOVE)) << "the quit is taken once";
}

TEST(MessageQueue, MessageAwareWaitReportsInputWithTheCount)
{
    RecordingWindow window;
    ScopedEvent scopedEvent;
    const win32::HANDLE event = scopedEvent.handle;
    win32::PostMessage(window.Handle(), win32::WM_USER, 0, 0);
    EXPECT_EQ(win32::MsgWaitForMultipleObjectsEx(1, &event, 1000, win32::QS_ALLINPUT, 0), win32::WAIT_OBJECT_0 + 1);
    // A signalled object comes before input.
    win32::SetEvent(event);
    EXPECT_EQ(win32::MsgWaitForMultipleObjects(1, &event, win32::FALSE, 1000, win32::QS_ALLINPUT),
              win32::WAIT_OBJECT_0);
    PumpPending();
    EXPECT_EQ(win32::MsgWaitForMultipleObjectsEx(1, &event, 20, win32::QS_ALLINPUT, 0), win32::WAIT_TIMEOUT);
}

TEST(Timer, DeliversTimerMessagesThroughTheLoopUntilKilled)
{
    RecordingWindow window;
    ASSERT_NE(win32::SetTimer(window.Handle(), 5, 10, nullptr), 0u);
    // The wait reports the timer as input once it is due, and not before: its message is there to be taken.
    EXPECT_EQ(win32::MsgWaitForMultipleObjectsEx(0, nullptr, 5000, win32::QS_TIMER, 0), win32::WAIT_OBJECT_0);
    PumpPending();
    EXPECT_FALSE(window.messages.empty()) << "the timer was reported before it was due";

    EXPECT_TRUE(PumpUntil([&] { return window.messages.size() >= 3; }));
    EXPECT_TRUE(std::ranges::all_of(window.messages, [](const RecordedMessage& message) {
        return message.message == win32::WM_TIMER && message.wParam == 5u;
    }));
    EXPECT_TRUE(win32::KillTimer(window.Handle(), 5));
    window.messages.clear();
    EXPECT_EQ(win32::MsgWaitForMultipleObjectsEx(0, nullptr, 40, win32::QS_ALLINPUT, 0), win32::WAIT_TIMEOUT);
    PumpPending();
    EXPECT_TRUE(window.messages.empty());
}

}  // namespace
