// A connection whose peer has reset it before the socket is attached for event reports (a client that connects and
// aborts at once, while the server is still busy) still reports its close: before, it looked like a socket that
// had never connected, was not watched, and a session waited for it without end.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "RecordingWindow.h"
#include "platform/Sockets.h"
#include "support/LoopbackSockets.h"

// The system's socket interface after the platform's headers, whose names its macros would otherwise replace.
#include <sys/socket.h>

namespace {

constexpr win32::UINT kSocketMessage = win32::WM_USER;

// Closes the socket with a reset (SO_LINGER with a zero time) instead of an orderly end.
void Abort(ScopedSocket& s)
{
    const linger abortive{1, 0};
    ::setsockopt(static_cast<int>(s.Get()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    s.Close();
}

}  // namespace

TEST(ResetBeforeAttach, AcceptedConnectionResetByItsPeerReportsItsClose)
{
    win32::WSADATA data;
    ASSERT_EQ(win32::WSAStartup(win32::MAKEWORD(1, 1), &data), 0);
    std::uint16_t port = 0;
    ScopedSocket listener = ListenOnLoopback(port);
    ASSERT_TRUE(listener.IsValid());
    struct Case {
        const char* name;
        bool resetBeforeAccept;
    };
    for (const Case c : {Case{"reset in the accept queue", true}, Case{"reset after accept", false}}) {
        SCOPED_TRACE(c.name);
        ScopedSocket client = ConnectToLoopback(port);
        ASSERT_TRUE(client.IsValid());
        if (c.resetBeforeAccept) {
            Abort(client);
        }
        ScopedSocket accepted(win32::accept(listener.Get(), nullptr));
        ASSERT_TRUE(accepted.IsValid());
        if (!c.resetBeforeAccept) {
            Abort(client);
        }
        RecordingWindow window;
        ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), kSocketMessage,
                                        win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE),
                  0);
        auto closeReported = [&window] {
            for (const RecordedMessage& message : window.messages) {
                if (win32::LOWORD(static_cast<win32::UINT_PTR>(message.lParam)) == win32::FD_CLOSE) {
                    return true;
                }
            }
            return false;
        };
        EXPECT_TRUE(PumpUntil(closeReported, std::chrono::milliseconds(3000)))
            << window.messages.size() << " event(s) reported, none of them FD_CLOSE";
        win32::WSAAsyncSelect(accepted.Get(), window.Handle(), 0, 0);
    }
    listener.Close();
    win32::WSACleanup();
}
