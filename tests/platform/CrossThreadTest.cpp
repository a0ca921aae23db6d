#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "RecordingWindow.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "support/LoopbackSockets.h"
#include "support/ScopedEvent.h"

namespace {

// A thread that owns a window and serves it from a message-aware wait until stopped.
class WindowThread {
public:
    WindowThread()
    {
        thread = std::thread([this] { Run(); });
        EXPECT_EQ(win32::WaitForSingleObject(ready.handle, 5000), win32::WAIT_OBJECT_0);
    }
    ~WindowThread() { Stop(); }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    void Stop()
    {
        if (thread.joinable()) {
            win32::SetEvent(stop.handle);
            thread.join();
        }
    }

    win32::HWND Handle() const { return handle; }
    win32::DWORD ThreadId() const { return threadId; }
    // Runs in the window's handler, on the window's thread.
    std::function<win32::LRESULT(const RecordedMessage&)> reply;

private:
    void Run()
    {
        RecordingWindow window;
        window.reply = [this](const RecordedMessage& message) { return reply ? reply(message) : 0; };
        handle = window.Handle();
        threadId = win32::GetCurrentThreadId();
        win32::SetEvent(ready.handle);
        for (;;) {
            const win32::DWORD result =
                win32::MsgWaitForMultipleObjectsEx(1, &stop.handle, win32::INFINITE, win32::QS_ALLINPUT, 0);
            if (result == win32::WAIT_OBJECT_0) {
                break;
            }
            PumpPending();
        }
    }

    ScopedEvent ready;
    ScopedEvent stop;
    win32::HWND handle = nullptr;
    win32::DWORD threadId = 0;
    std::thread thread;
};

TEST(SendMessage, TwoThreadsSendingToEachOtherDoNotDeadlock)
{
    WindowThread first;
    WindowThread second;
    // A message to the first makes it send to the second, whose handler sends back to the first (nested), while
    // the test thread does the same in the other direction.
    first.reply = [&](const RecordedMessage& message) -> win32::LRESULT {
        if (message.wParam == 0) {
            return 1;
        }
        return 10 + win32::SendMessage(second.Handle(), win32::WM_USER, message.wParam - 1, 0);
    };
    second.reply = [&](const RecordedMessage& message) -> win32::LRESULT {
        if (message.wParam == 0) {
            return 2;
        }
        return 20 + win32::SendMessage(first.Handle(), win32::WM_USER, message.wParam - 1, 0);
    };
    std::atomic<win32::LRESULT> other{0};
    std::thread helper([&] { other = win32::SendMessage(second.Handle(), win32::WM_USER, 3, 0); });
    const win32::LRESULT mine = win32::SendMessage(first.Handle(), win32::WM_USER, 3, 0);
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

// The owner sleeps in its wait; a worker's read re-arms FD_READ and must wake it to look again.
TEST(CrossThreadSockets, RecvOnAWorkerReArmsTheOwnersWatch)
{
    win32::WSADATA data;
    ASSERT_EQ(win32::WSAStartup(win32::MAKEWORD(1, 1), &data), 0);
    {
        RecordingWindow window;
        LoopbackConnection connection;
        ASSERT_TRUE(connection.IsValid());
        const win32::SOCKET accepted = connection.accepted.Get();
        ASSERT_EQ(win32::WSAAsyncSelect(accepted, window.Handle(), win32::WM_USER, win32::FD_READ | win32::FD_CLOSE),
                  0);
        ASSERT_EQ(win32::send(connection.client.Get(), "ab", 2, 0), 2);
        ASSERT_TRUE(PumpUntil([&] { return window.messages.size() == 1; }));
        std::thread worker([&] {
            char byte;
            EXPECT_EQ(win32::recv(accepted, &byte, 1, 0), 1);
        });
        EXPECT_TRUE(PumpUntil([&] { return window.messages.size() == 2; }));
        worker.join();
        EXPECT_EQ(win32::LOWORD(static_cast<win32::UINT_PTR>(window.messages[1].lParam)), win32::FD_READ);
    }
    win32::WSACleanup();
}

}  // namespace
