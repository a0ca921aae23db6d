// Clients that misbehave never take the relay down: half-open connections, commands cut into thousands of
// segments, huge command lines, a client that never reads.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "integration/HostilePop3Server.h"
#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "support/Eventually.h"
#include "support/ProcessCounts.h"

namespace {

class HostileClientTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(upstream->Port(), 0);
        WriteProxyServerSettings("127.0.0.1", upstream->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
        // The first session makes what later sessions reuse; the counts are taken after it.
        {
            Pop3TestClient warmUp(relay->Port());
            ASSERT_TRUE(warmUp.Login("alice", "secret"));
        }
        ASSERT_TRUE(relay->CollectAll());
        ASSERT_TRUE(upstream->WaitUntilIdle());  // the mail server's side of it has ended too
        descriptors = SocketCount();
        threads = ThreadCount();
        descriptorList = DescriptorKinds();
    }

    void TearDown() override
    {
        relay.reset();
        upstream.reset();
    }

    void ExpectAllReleasedAndServing()
    {
        EXPECT_TRUE(relay->CollectAll(std::chrono::seconds(10))) << "a session outlives its client";
        EXPECT_TRUE(SocketsAndThreadsBackTo(descriptors, threads))
            << SocketCount() << " sockets, " << descriptors << " before; " << ThreadCount()
            << " threads, " << threads << " before; now " << DescriptorKinds() << "; before " << descriptorList;
        Pop3TestClient next(relay->Port());
        ASSERT_TRUE(next.Login("alice", "secret"));
        EXPECT_EQ(next.Command("NOOP"), "+OK\r\n");
    }

    ScopedRegistry registry;
    std::unique_ptr<HostilePop3Server> upstream = std::make_unique<HostilePop3Server>(HostilePop3Server::Fault::None);
    std::unique_ptr<InProcessRelay> relay;
    int descriptors = 0;
    long threads = 0;
    std::string descriptorList;
};
}  // namespace

TEST_F(HostileClientTest, HalfOpenConnectionGetsItsAnswersThenItsEnd)
{
    // A client that has shut down its sending side after its pipelined commands gets all three answers, then the end.
    Pop3TestClient halfClosed(relay->Port());
    ASSERT_TRUE(halfClosed.SendRaw("USER alice\r\nPASS secret\r\nNOOP\r\n"));
    halfClosed.ShutdownSending();
    const std::string answers = halfClosed.ReadUntilClose();
    EXPECT_EQ(answers, "+OK hostile ready\r\n+OK\r\n+OK\r\n+OK\r\n");
    EXPECT_TRUE(halfClosed.WaitForClose()) << "the relay keeps a half-closed connection open";
    halfClosed.Close();
    ExpectAllReleasedAndServing();
}

TEST_F(HostileClientTest, TenThousandTinySegments)
{
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.Login("alice", "secret"));
    // One octet per segment: 10,000 segments make 1,666 NOOP commands, sent without waiting for the answers.
    Pop3TestClient tiny(relay->Port());  // without Nagle's delay: one segment per octet
    ASSERT_EQ(tiny.ReadLine(), "+OK hostile ready\r\n");
    std::string stream = "USER alice\r\nPASS secret\r\n";
    while (stream.size() + 6 <= 10000) {
        stream += "NOOP\r\n";
    }
    std::thread sender([&tiny, &stream] {
        for (std::size_t at = 0; at < stream.size(); ++at) {
            if (!tiny.SendRaw(std::string_view(stream).substr(at, 1))) {
                return;
            }
        }
    });
    std::size_t answered = 0;
    const std::size_t expected = (stream.size() - 25) / 6 + 2;
    while (answered < expected && tiny.ReadLine() == "+OK\r\n") {
        ++answered;
    }
    sender.join();
    EXPECT_EQ(answered, expected);
    // Another client is served meanwhile and after.
    EXPECT_EQ(client.Command("NOOP"), "+OK\r\n");
    tiny.Close();
    client.Close();
    ExpectAllReleasedAndServing();
}

TEST_F(HostileClientTest, CommandLineOfOneMebibyte)
{
    // The relay takes a command line whole, however long (it holds it in memory only while relaying it), and the
    // session goes on afterwards; before login the long word is refused without reaching the server.
    const std::string huge(1 << 20, 'x');
    Pop3TestClient client(relay->Port());
    ASSERT_EQ(client.ReadLine(), "+OK hostile ready\r\n");
    EXPECT_EQ(client.Command(huge), "-ERR Unknown command: " + huge + "\r\n");
    ASSERT_EQ(client.Command("USER alice"), "+OK\r\n");
    ASSERT_EQ(client.Command("PASS secret"), "+OK\r\n");
    EXPECT_EQ(client.Command("NOOP " + huge), "+OK\r\n");
    EXPECT_EQ(client.Command("NOOP"), "+OK\r\n");
    client.Close();
    ExpectAllReleasedAndServing();
}

// The relay neither limits nor stops a client that does not read: the connection thread waits (without a timeout)
// for room in the client's socket, while the agent's receive loop goes on taking the answer from the mail server.
// Memory is bounded by the size of the answer being relayed, not by time, and the server is freed at once; the
// client's session ends when the client goes. A stop of a slow reader would break a client on a slow link, and the
// mail server's answer is bounded by the mail the user keeps there.
TEST_F(HostileClientTest, ClientThatNeverReadsItsMail)
{
    Pop3TestClient stuck(relay->Port());
    ASSERT_TRUE(stuck.Login("alice", "secret"));
    ASSERT_TRUE(stuck.SendLine("RETR 2"));
    // The mail server gets rid of the whole mail although the client reads nothing.
    EXPECT_TRUE(Eventually([&] { return upstream->LargeMailsSent() == 1; }));
    // Other clients are served meanwhile.
    {
        Pop3TestClient other(relay->Port());
        ASSERT_TRUE(other.Login("alice", "secret"));
        EXPECT_EQ(other.MultiLineCommand("RETR 1"), "+OK 5 octets\r\nhi\r\n.\r\n");
    }
    EXPECT_EQ(relay->Server()->ConnectionCount(), 2u);  // the stuck one, and the one that just left (or not yet)
    stuck.Close();
    ExpectAllReleasedAndServing();
}
