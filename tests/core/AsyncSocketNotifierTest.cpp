#include "core/AsyncSocketNotifier.h"

#include <gtest/gtest.h>

#include <thread>

#include "NotifierFixture.h"

namespace {

class AsyncSocketNotifierTest : public NotifierFixture {
protected:
    // Has the main loop run once more, so that whatever it had to report by now has been reported.
    void LetMainLoopTurn() { mainLoop->Invoke([] {}); }
};

TEST_F(AsyncSocketNotifierTest, PositionsCountOnlyTheEventsOfTheMask)
{
    const struct {
        win32::LONG signalled;
        win32::LONG mask;
        win32::DWORD position;
    } cases[] = {
        {win32::FD_CLOSE, win32::FD_READ | win32::FD_CLOSE, 1},
        {win32::FD_CLOSE, win32::FD_WRITE | win32::FD_CLOSE, 1},
        {win32::FD_CLOSE, win32::FD_ACCEPT | win32::FD_CLOSE, 1},
        {win32::FD_WRITE, win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE, 1},
        {win32::FD_ACCEPT, win32::FD_ACCEPT | win32::FD_CLOSE, 0},
        {win32::FD_CLOSE, win32::FD_CLOSE, 0},
        // A signal outside the mask waits for the next wait that includes it.
        {win32::FD_READ | win32::FD_CLOSE, win32::FD_CLOSE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "signalled " << c.signalled << " mask " << c.mask);
        notifier->Signal(c.signalled);
        EXPECT_EQ(notifier->Wait(c.mask), c.position);
    }
    EXPECT_EQ(notifier->Wait(win32::FD_READ), 0u);
}

TEST_F(AsyncSocketNotifierTest, ListeningSocketReportsAcceptUntilMaskZeroDetachesIt)
{
    std::uint16_t port = 0;
    ScopedSocket listener = ListenOnLoopback(port);
    std::uint16_t otherPort = 0;
    ScopedSocket other = ListenOnLoopback(otherPort);
    ASSERT_TRUE(listener.IsValid() && other.IsValid());
    notifier->SetSocket(listener.Get(), win32::FD_ACCEPT | win32::FD_CLOSE);
    EXPECT_EQ(notifier->Socket(), listener.Get());
    ScopedSocket client = ConnectToLoopback(port);
    EXPECT_EQ(notifier->Wait(win32::FD_ACCEPT | win32::FD_CLOSE), 0u);
    EXPECT_TRUE(ScopedSocket(win32::accept(listener.Get(), nullptr)).IsValid());

    // Mask 0 detaches the attached socket instead of attaching the one given: neither reports anything now.
    notifier->SetSocket(other.Get(), 0);
    EXPECT_EQ(notifier->Socket(), win32::INVALID_SOCKET);
    ScopedSocket second = ConnectToLoopback(port);
    ScopedSocket otherClient = ConnectToLoopback(otherPort);
    ASSERT_TRUE(second.IsValid() && otherClient.IsValid());
    LetMainLoopTurn();
    LetMainLoopTurn();
    // The server ends the accepting thread's wait from another thread.
    std::thread closer([&] { notifier->Signal(win32::FD_CLOSE); });
    EXPECT_EQ(notifier->Wait(win32::FD_ACCEPT | win32::FD_CLOSE), 1u);
    closer.join();
    // The detached socket is left open and non-blocking.
    EXPECT_TRUE(ScopedSocket(win32::accept(listener.Get(), nullptr)).IsValid());
    EXPECT_EQ(win32::accept(listener.Get(), nullptr), win32::INVALID_SOCKET);
    EXPECT_EQ(win32::WSAGetLastError(), win32::WSAEWOULDBLOCK);
}

TEST_F(AsyncSocketNotifierTest, DestroyingANotifierOnceCancelsReportingAndLeavesTheSocketOpen)
{
    std::uint16_t port = 0;
    ScopedSocket listener = ListenOnLoopback(port);
    notifier->SetSocket(listener.Get(), win32::FD_ACCEPT | win32::FD_CLOSE);
    AsyncSocketNotifier* other = CreateNotifier();
    ASSERT_NE(other, nullptr);
    const win32::HWND window = notifier->Handle();
    DestroyNotifier(notifier);
    EXPECT_FALSE(win32::IsWindow(window));
    DestroyNotifier(notifier);  // given back twice: ignored, and the other notifier stays
    DestroyNotifier(nullptr);
    EXPECT_TRUE(win32::IsWindow(other->Handle()));
    notifier = other;

    // A connection after that reports to nobody and does no harm; the socket still works.
    ScopedSocket client = ConnectToLoopback(port);
    ASSERT_TRUE(client.IsValid());
    LetMainLoopTurn();
    EXPECT_TRUE(ScopedSocket(win32::accept(listener.Get(), nullptr)).IsValid());
}

TEST_F(AsyncSocketNotifierTest, ShutdownDestroysTheNotifiersLeft)
{
    std::uint16_t port = 0;
    ScopedSocket listener = ListenOnLoopback(port);
    notifier->SetSocket(listener.Get(), win32::FD_ACCEPT | win32::FD_CLOSE);
    const win32::HWND window = notifier->Handle();
    notifier = nullptr;  // left to the end of the main loop
    mainLoop.reset();
    EXPECT_FALSE(win32::IsWindow(window));
    EXPECT_EQ(notifierMakerWindow.load(), nullptr);
    EXPECT_EQ(CreateNotifier(), nullptr);
}

}  // namespace
