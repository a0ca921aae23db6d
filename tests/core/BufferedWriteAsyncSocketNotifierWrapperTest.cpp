#include "core/BufferedWriteAsyncSocketNotifierWrapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "NotifierFixture.h"
#include "core/ConnectionFailure.h"
#include "core/ZEvent.h"
#include "platform/RecordingWindow.h"
#include "platform/Sync.h"

namespace {

class BufferedWriterTest : public NotifierFixture {
protected:
    win32::CriticalSection socketLock;
};

// The owner closes the socket under its lock while a writer sends: the writer reads the socket and sends under the same
// lock, so the close never falls between the two (ThreadSanitizer reports a send not ordered with the close), and the
// writer ends with a connection failure (which its destructor, flushing once more, swallows).
TEST_F(BufferedWriterTest, CloseByTheOwnerIsNeverRacedByASend)
{
    LoopbackConnection connection;
    ASSERT_TRUE(connection.IsValid());
    notifier->SetSocket(connection.client.Get(), win32::FD_WRITE | win32::FD_CLOSE);
    ZEvent writing(false, true);
    std::atomic<bool> failed{false};
    std::thread writerThread([&] {
        try {
            for (int line = 0; line < 1000000; ++line) {
                BufferedWriteAsyncSocketNotifierWrapper writer(notifier, socketLock);
                writer.Write("NOOP\r\n", 6);
                writer.Flush();
                if (line == 100) {
                    writing.Set();
                }
            }
        } catch (const ConnectionFailure&) {
            failed = true;
        }
        writing.Set();
    });
    ASSERT_EQ(win32::WaitForSingleObject(writing.Handle(), 60000), win32::WAIT_OBJECT_0);
    {
        std::scoped_lock socketGuard(socketLock);
        CloseNotifiedSocket(notifier, connection.client.Release(), win32::FD_WRITE | win32::FD_CLOSE);
    }
    writerThread.join();
    EXPECT_TRUE(failed.load());
}

TEST_F(BufferedWriterTest, FullSocketAndSlowReaderStillGetEveryByteInOrder)
{
    LoopbackConnection connection;
    ASSERT_TRUE(connection.IsValid());
    // Far more than the socket buffers of both ends can hold while nobody reads.
    constexpr std::size_t kPayloadSize = 16u << 20;
    std::vector<char> payload(kPayloadSize);
    std::ranges::generate(payload, [i = 0u]() mutable { return static_cast<char>(i++ % 251); });

    std::atomic<bool> flushing{false};
    std::atomic<win32::HWND> probeWindow{nullptr};
    std::atomic<bool> failed{false};
    ZEvent writerReady(false, true);
    ZEvent stopServing(false, true);
    std::thread writerThread([&] {
        // A probe sent to this thread is served only in a message-dispatching wait, which inside a flush means:
        // the socket was full and the writer waits for room.
        RecordingWindow probe;
        probe.reply = [&](const RecordedMessage&) { return flushing ? 1 : 0; };
        notifier->SetSocket(connection.client.Get(), win32::FD_READ | win32::FD_WRITE | win32::FD_CLOSE);
        probeWindow = probe.Handle();
        flushing = true;
        writerReady.Set();
        try {
            // Written in line-sized pieces, as the relay writes command lines.
            BufferedWriteAsyncSocketNotifierWrapper writer(notifier, socketLock);
            for (std::size_t offset = 0; offset < payload.size(); offset += 4096) {
                writer.Write(payload.data() + offset, 4096);
            }
            writer.Flush();
        } catch (...) {
            failed = true;
        }
        flushing = false;
        // Keep serving a late probe (in a message-dispatching wait) so the test never hangs, whatever happened.
        stopServing.Wait(win32::INFINITE);
    });
    ASSERT_EQ(win32::WaitForSingleObject(writerReady.Handle(), 60000), win32::WAIT_OBJECT_0);
    // Nobody has read yet: the writer must be waiting for room in the middle of its flush.
    EXPECT_EQ(win32::SendMessage(probeWindow, win32::WM_USER, 0, 0), 1) << "the flush never had to wait";

    std::vector<char> received;
    char buffer[1000];  // a slow reader: small pieces
    for (int n; received.size() < kPayloadSize &&
                (n = win32::recv(connection.accepted.Get(), buffer, sizeof buffer, 0)) > 0;) {
        received.insert(received.end(), buffer, buffer + n);
    }
    stopServing.Set();
    writerThread.join();
    EXPECT_FALSE(failed.load());
    EXPECT_TRUE(received == payload) << received.size() << " of " << kPayloadSize << " bytes, or not in order";
    notifier->SetSocket(win32::INVALID_SOCKET, 0);
}

}  // namespace
