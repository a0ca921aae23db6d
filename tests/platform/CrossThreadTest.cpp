#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "RecordingWindow.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "support/ScopedEvent.h"

namespace {

// A thread that owns a window and serves it from a message-aware wait until destroyed.
struct WindowThread {
    WindowThread()
    {
        thread = std::thread([this] {
            RecordingWindow window;
            window.reply = [this](const RecordedMessage& message) { return reply(message); };
            handle = window.Handle();
            win32::SetEvent(ready.handle);
            while (win32::MsgWaitForMultipleObjectsEx(1, &stop.handle, win32::INFINITE, win32::QS_ALLINPUT, 0) !=
                   win32::WAIT_OBJECT_0) {
                PumpPending();
            }
        });
        EXPECT_EQ(win32::WaitForSingleObject(ready.handle, 5000), win32::WAIT_OBJECT_0);
    }
    ~WindowThread()
    {
        win32::SetEvent(stop.handle);
        thread.join();
    }

    // Runs in the window's handler, on the window's thread.
    std::function<win32::LRESULT(const RecordedMessage&)> reply;
    ScopedEvent ready;
    ScopedEvent stop;
    win32::HWND handle = nullptr;
    std::thread thread;
};

TEST(SendMessage, TwoThreadsSendingToEachOtherDoNotDeadlock)
{
    WindowThread first;
    WindowThread second;
    // A message to one window makes it send to the other, whose handler sends back (nested), while the test thread
    // does the same in the other direction. Each window adds its step to the answer, or answers last at the end.
    const auto bounce = [](win32::LRESULT step, win32::LRESULT last, const WindowThread& other) {
        return [=, &other](const RecordedMessage& message) {
            const win32::WPARAM left = message.wParam;
            return left == 0 ? last : step + win32::SendMessage(other.handle, win32::WM_USER, left - 1, 0);
        };
    };
    first.reply = bounce(10, 1, second);
    second.reply = bounce(20, 2, first);
    std::atomic<win32::LRESULT> other{0};
    std::thread helper([&] { other = win32::SendMessage(second.handle, win32::WM_USER, 3, 0); });
    const win32::LRESULT mine = win32::SendMessage(first.handle, win32::WM_USER, 3, 0);
    helper.join();
    EXPECT_EQ(mine, 10 + 20 + 10 + 2);
    EXPECT_EQ(other.load(), 20 + 10 + 20 + 1);
}

TEST(SendMessage, WindowOfAnEndedThreadAnswersZero)
{
    // The window outlives its thread (and is destroyed by the test thread at the end).
    std::unique_ptr<RecordingWindow> window;
    std::thread([&] { window = std::make_unique<RecordingWindow>(); }).join();
    const win32::HWND orphan = window->Handle();
    ASSERT_TRUE(win32::IsWindow(orphan));
    EXPECT_EQ(win32::SendMessage(orphan, win32::WM_USER, 0, 0), 0);
    EXPECT_FALSE(win32::PostMessage(orphan, win32::WM_USER, 0, 0));
}

}  // namespace
