#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RecordingWindow.h"
#include "SocketOptions.h"
#include "platform/Sockets.h"
#include "support/LoopbackSockets.h"

namespace {

using win32::LONG;

constexpr win32::UINT kSocketMessage = win32::WM_USER;

class AsyncSelectTest : public testing::Test {
protected:
    void SetUp() override
    {
        win32::WSADATA data;
        ASSERT_EQ(win32::WSAStartup(win32::MAKEWORD(1, 1), &data), 0);
        listener = ListenOnLoopback(port);
        ASSERT_TRUE(listener.IsValid());
    }
    void TearDown() override
    {
        listener.Close();
        win32::WSACleanup();
    }

    // The events reported to the window so far, in order; the socket messages are taken off the list.
    std::vector<LONG> TakeEvents(win32::SOCKET s)
    {
        PumpPending();
        std::vector<LONG> events;
        for (const RecordedMessage& message : window.messages) {
            EXPECT_EQ(message.message, kSocketMessage);
            EXPECT_EQ(message.wParam, s);
            events.push_back(win32::LOWORD(static_cast<win32::UINT_PTR>(message.lParam)));
        }
        window.messages.clear();
        return events;
    }

    int Attach(win32::SOCKET s, LONG mask) { return win32::WSAAsyncSelect(s, window.Handle(), kSocketMessage, mask); }

    // A connected pair: the accepted end (reported on) and the client end (driven by the test).
    std::pair<ScopedSocket, ScopedSocket> Connect()
    {
        ScopedSocket client = ConnectToLoopback(port);
        return {ScopedSocket(win32::accept(listener.Get(), nullptr)), std::move(client)};
    }

    RecordingWindow window;
    std::uint16_t port = 0;
    ScopedSocket listener;
};

using Events = std::vector<LONG>;

TEST_F(AsyncSelectTest, AcceptIsReportedOnceAndReArmedByAccept)
{
    ASSERT_EQ(Attach(listener.Get(), win32::FD_ACCEPT | win32::FD_CLOSE), 0);
    EXPECT_EQ(TakeEvents(listener.Get()), Events{});

    ScopedSocket first = ConnectToLoopback(port);
    ScopedSocket second = ConnectToLoopback(port);
    EXPECT_EQ(TakeEvents(listener.Get()), Events{win32::FD_ACCEPT}) << "two pending connections, one report";
    EXPECT_EQ(TakeEvents(listener.Get()), Events{});

    EXPECT_TRUE(ScopedSocket(win32::accept(listener.Get(), nullptr)).IsValid());
    EXPECT_EQ(TakeEvents(listener.Get()), Events{win32::FD_ACCEPT}) << "the second one is still waiting";
    EXPECT_TRUE(ScopedSocket(win32::accept(listener.Get(), nullptr)).IsValid());
    EXPECT_EQ(TakeEvents(listener.Get()), Events{});
}

TEST_F(AsyncSelectTest, ReadIsReArmedByRecvAndByPeek)
{
    auto [accepted, client] = Connect();
    ASSERT_TRUE(accepted.IsValid() && client.IsValid());
    ASSERT_EQ(Attach(accepted.Get(), win32::FD_READ | win32::FD_CLOSE), 0);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{});

    ASSERT_EQ(win32::send(client.Get(), "abcdef", 6, 0), 6);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_READ});
    ASSERT_EQ(win32::send(client.Get(), "gh", 2, 0), 2);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{}) << "not re-armed yet";

    char buffer[16];
    EXPECT_EQ(win32::recv(accepted.Get(), buffer, 2, win32::MSG_PEEK), 2);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_READ}) << "data left after the peek";
    EXPECT_EQ(win32::recv(accepted.Get(), buffer, sizeof buffer, 0), 8);
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{}) << "nothing left";
    EXPECT_EQ(win32::recv(accepted.Get(), buffer, sizeof buffer, 0), win32::SOCKET_ERROR);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSAEWOULDBLOCK);

    // A read on another thread re-arms the owner's watch too.
    ASSERT_EQ(win32::send(client.Get(), "ij", 2, 0), 2);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_READ});
    std::thread([&] { EXPECT_EQ(win32::recv(accepted.Get(), buffer, 1, 0), 1); }).join();
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_READ});

    // closesocket cancels the reporting (mask 0 does too: AsyncSocketNotifierTest): a new socket that gets the same
    // number is not mistaken for the closed one.
    const win32::SOCKET old = accepted.Get();
    accepted.Close();
    ScopedSocket reused = ConnectToLoopback(port);
    ScopedSocket reusedPeer(win32::accept(listener.Get(), nullptr));
    ASSERT_EQ(reused.Get(), old);
    ASSERT_EQ(win32::send(reusedPeer.Get(), "y", 1, 0), 1);
    EXPECT_EQ(TakeEvents(old), Events{});
}

TEST_F(AsyncSelectTest, CloseComesOnceAfterTheDataBeforeIt)
{
    const struct {
        const char* name;
        LONG events;
        bool readFirst;  // the data's FD_READ has been reported before the peer closes
    } cases[] = {{"data and close together", win32::FD_READ | win32::FD_CLOSE, false},
                 {"close after reported data", win32::FD_READ | win32::FD_CLOSE, true},
                 {"close alone, the data unread", win32::FD_CLOSE, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto [accepted, client] = Connect();
        ASSERT_TRUE(accepted.IsValid() && client.IsValid());
        ASSERT_EQ(Attach(accepted.Get(), c.events), 0);
        ASSERT_EQ(win32::send(client.Get(), "last", 4, 0), 4);
        Events expected;
        if (c.readFirst) {
            EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_READ});
        } else if (c.events & win32::FD_READ) {
            expected.push_back(win32::FD_READ);
        }
        client.Close();
        expected.push_back(win32::FD_CLOSE);
        EXPECT_EQ(TakeEvents(accepted.Get()), expected);

        char buffer[8];
        EXPECT_EQ(win32::recv(accepted.Get(), buffer, sizeof buffer, 0), 4);
        EXPECT_EQ(win32::recv(accepted.Get(), buffer, sizeof buffer, 0), 0);
        EXPECT_EQ(TakeEvents(accepted.Get()), Events{}) << "the close is reported once, the end of data not as a read";
    }
}

// A reset is a close, with the error in the high word. A connection reset before it was attached once looked never
// connected and was not watched: its session waited without end.
TEST_F(AsyncSelectTest, AcceptedConnectionResetByItsPeerReportsItsCloseAlsoWhenResetBeforeAttach)
{
    enum ResetAt { InTheAcceptQueue, AfterAcceptBeforeAttach, AfterAttach };
    for (const ResetAt at : {InTheAcceptQueue, AfterAcceptBeforeAttach, AfterAttach}) {
        SCOPED_TRACE(at);
        ScopedSocket client = ConnectToLoopback(port);
        ASSERT_TRUE(client.IsValid() && ResetOnClose(client.Get()));
        const auto resetAt = [&](ResetAt point) {
            if (at == point) {
                client.Close();
            }
        };
        resetAt(InTheAcceptQueue);
        ScopedSocket accepted(win32::accept(listener.Get(), nullptr));
        ASSERT_TRUE(accepted.IsValid());
        resetAt(AfterAcceptBeforeAttach);
        ASSERT_EQ(Attach(accepted.Get(), win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE), 0);
        resetAt(AfterAttach);
        const auto close = [&] {
            return std::ranges::find_if(window.messages, [](const RecordedMessage& message) {
                return win32::LOWORD(static_cast<win32::UINT_PTR>(message.lParam)) == win32::FD_CLOSE;
            });
        };
        ASSERT_TRUE(PumpUntil([&] { return close() != window.messages.end(); }))
            << window.messages.size() << " event(s) reported, none of them FD_CLOSE";
        if (at == AfterAttach) {
            EXPECT_EQ(win32::HIWORD(static_cast<win32::UINT_PTR>(close()->lParam)), win32::WSAECONNRESET);
        }
        Attach(accepted.Get(), 0);
        window.messages.clear();
    }
}

TEST(Winsock, DottedAddressesAreParsedStrictly)
{
    const struct {
        const char* text;
        std::uint32_t hostOrder;
    } cases[] = {{"127.0.0.1", 0x7F000001}, {"0.0.0.0", 0}, {"255.255.255.254", 0xFFFFFFFE}, {"10.1.2.3", 0x0A010203}};
    for (const auto& c : cases) {
        EXPECT_EQ(win32::ntohl(win32::inet_addr(c.text)), c.hostOrder) << c.text;
    }
    for (const char* text : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "mail.example.org", "", " 1.2.3.4", "1.2.3.4 ", "1..2.3"}) {
        EXPECT_EQ(win32::inet_addr(text), win32::INADDR_NONE) << text;
    }
    EXPECT_EQ(win32::inet_addr(nullptr), win32::INADDR_NONE);
}

}  // namespace
