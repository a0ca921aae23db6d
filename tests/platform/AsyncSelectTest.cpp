#include <gtest/gtest.h>

#include <string>
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

    // A connected pair: the accepted end (reported on) and the client end (driven by the test).
    void Connect(ScopedSocket& accepted, ScopedSocket& client)
    {
        client = ConnectToLoopback(port);
        ASSERT_TRUE(client.IsValid());
        accepted = ScopedSocket(win32::accept(listener.Get(), nullptr));
        ASSERT_TRUE(accepted.IsValid());
    }

    RecordingWindow window;
    std::uint16_t port = 0;
    ScopedSocket listener;
};

using Events = std::vector<LONG>;

TEST_F(AsyncSelectTest, AcceptIsReportedOnceAndReArmedByAccept)
{
    ASSERT_EQ(win32::WSAAsyncSelect(listener.Get(), window.Handle(), kSocketMessage, win32::FD_ACCEPT | win32::FD_CLOSE), 0);
    EXPECT_EQ(TakeEvents(listener.Get()), Events{});

    ScopedSocket first = ConnectToLoopback(port);
    ScopedSocket second = ConnectToLoopback(port);
    EXPECT_EQ(TakeEvents(listener.Get()), Events{win32::FD_ACCEPT}) << "two pending connections, one report";
    EXPECT_EQ(TakeEvents(listener.Get()), Events{});

    ScopedSocket accepted(win32::accept(listener.Get(), nullptr));
    EXPECT_TRUE(accepted.IsValid());
    EXPECT_EQ(TakeEvents(listener.Get()), Events{win32::FD_ACCEPT}) << "the second one is still waiting";
    ScopedSocket acceptedToo(win32::accept(listener.Get(), nullptr));
    EXPECT_TRUE(acceptedToo.IsValid());
    EXPECT_EQ(TakeEvents(listener.Get()), Events{});
    EXPECT_EQ(win32::accept(listener.Get(), nullptr), win32::INVALID_SOCKET);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSAEWOULDBLOCK);
}

TEST_F(AsyncSelectTest, ReadIsReArmedByRecvAndByPeek)
{
    ScopedSocket accepted, client;
    Connect(accepted, client);
    ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), kSocketMessage, win32::FD_READ | win32::FD_CLOSE), 0);
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

    ASSERT_EQ(win32::send(client.Get(), "i", 1, 0), 1);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_READ});
}

TEST_F(AsyncSelectTest, CloseComesOnceAfterTheDataBeforeIt)
{
    struct Case {
        const char* name;
        LONG events;
        bool readFirst;  // the data's FD_READ has been reported before the peer closes
    };
    for (const Case c : {Case{"data and close together", win32::FD_READ | win32::FD_CLOSE, false},
                         Case{"close after reported data", win32::FD_READ | win32::FD_CLOSE, true},
                         Case{"close alone, the data unread", win32::FD_CLOSE, false}}) {
        SCOPED_TRACE(c.name);
        ScopedSocket accepted, client;
        Connect(accepted, client);
        ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), kSocketMessage, c.events), 0);
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

TEST_F(AsyncSelectTest, ResetIsACloseWithTheErrorInTheHighWord)
{
    ScopedSocket accepted, client;
    Connect(accepted, client);
    ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), kSocketMessage, win32::FD_READ | win32::FD_CLOSE), 0);
    // Closing with unread data makes the peer's kernel answer with a reset.
    ASSERT_EQ(win32::send(accepted.Get(), "x", 1, 0), 1);
    client.Close();
    PumpPending();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(win32::LOWORD(static_cast<win32::UINT_PTR>(window.messages[0].lParam)), win32::FD_CLOSE);
    EXPECT_EQ(win32::HIWORD(static_cast<win32::UINT_PTR>(window.messages[0].lParam)), win32::WSAECONNRESET);
}

TEST_F(AsyncSelectTest, MaskZeroAndClosesocketCancelTheReporting)
{
    ScopedSocket accepted, client;
    Connect(accepted, client);
    ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), kSocketMessage, win32::FD_READ | win32::FD_CLOSE), 0);
    ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), 0, 0), 0);
    ASSERT_EQ(win32::send(client.Get(), "ignored", 7, 0), 7);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{});
    // The socket stays non-blocking.
    char buffer[16];
    EXPECT_EQ(win32::recv(accepted.Get(), buffer, sizeof buffer, 0), 7);
    EXPECT_EQ(win32::recv(accepted.Get(), buffer, sizeof buffer, 0), win32::SOCKET_ERROR);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSAEWOULDBLOCK);

    ASSERT_EQ(win32::WSAAsyncSelect(client.Get(), window.Handle(), kSocketMessage, win32::FD_READ | win32::FD_CLOSE), 0);
    const win32::SOCKET old = client.Get();
    client.Close();
    // A new socket that gets the same number is not mistaken for the closed one.
    ScopedSocket reused = ConnectToLoopback(port);
    ASSERT_TRUE(reused.IsValid());
    ScopedSocket reusedPeer(win32::accept(listener.Get(), nullptr));
    ASSERT_EQ(win32::send(reusedPeer.Get(), "y", 1, 0), 1);
    EXPECT_EQ(TakeEvents(old), Events{});
}

TEST_F(AsyncSelectTest, WriteIsReportedOnAttachAndAfterASendThatWouldBlock)
{
    ScopedSocket accepted, client;
    Connect(accepted, client);
    ASSERT_TRUE(ShrinkSendBuffer(accepted.Get(), 4096));
    ASSERT_EQ(win32::WSAAsyncSelect(accepted.Get(), window.Handle(), kSocketMessage, win32::FD_WRITE | win32::FD_CLOSE), 0);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_WRITE});
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{}) << "once, not while it stays writable";

    // Fill the socket until it refuses; the client reads nothing yet.
    const std::string chunk(4096, 'z');
    long total = 0;
    int guard = 0;
    for (; guard < 100000; ++guard) {
        const int sent = win32::send(accepted.Get(), chunk.data(), static_cast<int>(chunk.size()), 0);
        if (sent == win32::SOCKET_ERROR) {
            break;
        }
        total += sent;
    }
    ASSERT_EQ(win32::WSAGetLastError(), win32::WSAEWOULDBLOCK);
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{});

    // Draining the client side makes room again.
    std::vector<char> buffer(65536);
    while (total > 0) {
        const int received = win32::recv(client.Get(), buffer.data(), static_cast<int>(buffer.size()), 0);
        ASSERT_GT(received, 0);
        total -= received;
    }
    EXPECT_TRUE(PumpUntil([&] { return !window.messages.empty(); }));
    EXPECT_EQ(TakeEvents(accepted.Get()), Events{win32::FD_WRITE});
}

TEST_F(AsyncSelectTest, SocketAttachedBeforeConnectReportsConnectThenWrite)
{
    ScopedSocket s(win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0));
    ASSERT_EQ(win32::WSAAsyncSelect(s.Get(), window.Handle(), kSocketMessage,
                                    win32::FD_CONNECT | win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE), 0);
    // An unconnected socket has nothing to report (and no close).
    EXPECT_EQ(TakeEvents(s.Get()), Events{});

    win32::SOCKADDR_IN address;
    address.address = win32::htonl(win32::INADDR_LOOPBACK);
    address.port = win32::htons(port);
    const int result = win32::connect(s.Get(), address);
    if (result == win32::SOCKET_ERROR) {
        EXPECT_EQ(win32::WSAGetLastError(), win32::WSAEWOULDBLOCK) << "non-blocking once attached";
    }
    EXPECT_TRUE(PumpUntil([&] { return window.messages.size() >= 2; }));
    EXPECT_EQ(TakeEvents(s.Get()), (Events{win32::FD_CONNECT, win32::FD_WRITE}));
}

TEST_F(AsyncSelectTest, SocketAttachedBeforeListenReportsAccepts)
{
    ScopedSocket s(win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0));
    win32::SOCKADDR_IN address;
    address.address = win32::htonl(win32::INADDR_LOOPBACK);
    ASSERT_EQ(win32::bind(s.Get(), address), 0);
    ASSERT_EQ(win32::WSAAsyncSelect(s.Get(), window.Handle(), kSocketMessage, win32::FD_ACCEPT | win32::FD_CLOSE), 0);
    EXPECT_EQ(TakeEvents(s.Get()), Events{});
    ASSERT_EQ(win32::listen(s.Get(), 4), 0);
    win32::SOCKADDR_IN bound;
    ASSERT_EQ(win32::getsockname(s.Get(), &bound), 0);
    ScopedSocket client = ConnectToLoopback(win32::ntohs(bound.port));
    ASSERT_TRUE(client.IsValid());
    EXPECT_EQ(TakeEvents(s.Get()), Events{win32::FD_ACCEPT});
}

TEST_F(AsyncSelectTest, AttachingToAWindowThatIsGoneFails)
{
    win32::HWND gone = nullptr;
    {
        RecordingWindow temporary;
        gone = temporary.Handle();
    }
    EXPECT_EQ(win32::WSAAsyncSelect(listener.Get(), gone, kSocketMessage, win32::FD_ACCEPT), win32::SOCKET_ERROR);
    EXPECT_NE(win32::WSAGetLastError(), 0);
}

TEST(Winsock, SocketsNeedStartup)
{
    EXPECT_EQ(win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0), win32::INVALID_SOCKET);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSANOTINITIALISED);
}

TEST(Winsock, ConnectionRefusedAndSendToAClosedPeerGiveWinsockCodes)
{
    win32::WSADATA data;
    ASSERT_EQ(win32::WSAStartup(win32::MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, win32::MAKEWORD(1, 1));
    std::uint16_t port = 0;
    {
        ScopedSocket closedListener = ListenOnLoopback(port);
    }
    ScopedSocket s(win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0));
    win32::SOCKADDR_IN address;
    address.address = win32::htonl(win32::INADDR_LOOPBACK);
    address.port = win32::htons(port);
    EXPECT_EQ(win32::connect(s.Get(), address), win32::SOCKET_ERROR);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSAECONNREFUSED);

    // Sending into a connection the peer has reset fails with an error, and SIGPIPE does not end the process.
    std::uint16_t livePort = 0;
    ScopedSocket live = ListenOnLoopback(livePort);
    ScopedSocket client = ConnectToLoopback(livePort);
    ScopedSocket accepted(win32::accept(live.Get(), nullptr));
    ASSERT_EQ(win32::send(client.Get(), "x", 1, 0), 1);
    accepted.Close();  // unread data: reset
    int result = 0;
    for (int i = 0; i < 10 && result != win32::SOCKET_ERROR; ++i) {
        result = win32::send(client.Get(), "y", 1, 0);
    }
    EXPECT_EQ(result, win32::SOCKET_ERROR);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSAECONNRESET);
    EXPECT_EQ(win32::WSACleanup(), 0);
}

TEST(Winsock, DottedAddressesAreParsedStrictly)
{
    struct Case {
        const char* text;
        std::uint32_t hostOrder;
    };
    const Case cases[] = {
        {"127.0.0.1", 0x7F000001},       {"0.0.0.0", 0},         {"255.255.255.254", 0xFFFFFFFE},
        {"10.1.2.3", 0x0A010203},        {"256.0.0.1", 0xFFFFFFFF}, {"1.2.3", 0xFFFFFFFF},
        {"1.2.3.4.5", 0xFFFFFFFF},       {"mail.example.org", 0xFFFFFFFF}, {"", 0xFFFFFFFF},
        {" 1.2.3.4", 0xFFFFFFFF},        {"1.2.3.4 ", 0xFFFFFFFF}, {"1..2.3", 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(win32::ntohl(win32::inet_addr(c.text)), c.hostOrder);
    }
    EXPECT_EQ(win32::inet_addr(nullptr), win32::INADDR_NONE);
}

TEST(Winsock, HostNamesResolveToTheirFirstIPv4Address)
{
    std::uint32_t address = 0;
    ASSERT_TRUE(win32::ResolveHostName("localhost", address));
    EXPECT_EQ(win32::ntohl(address) >> 24, 127u);
    ASSERT_TRUE(win32::ResolveHostName("127.0.0.2", address));
    EXPECT_EQ(win32::ntohl(address), 0x7F000002u);
    EXPECT_FALSE(win32::ResolveHostName("no-such-host.invalid", address));
    EXPECT_FALSE(win32::ResolveHostName("", address));
}

}  // namespace
