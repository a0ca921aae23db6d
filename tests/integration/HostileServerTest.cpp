// A mail server that misbehaves never takes the relay down: the client's connection ends (or, while the server
// hangs, stays open as long as the client keeps it, and the session ends soon after the client leaves), its
// threads and sockets are collected, and the next client is served.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "integration/HostilePop3Server.h"
#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "support/ProcessCounts.h"

namespace {
using Fault = HostilePop3Server::Fault;

// How long a client waits for an answer that a hung server will never let through.
constexpr int kHungWaitMs = 300;

// Reads until the relay closes the connection; false when it is still open at the deadline.
bool EndsConnection(Pop3TestClient& client)
{
    client.ReadUntilClose();
    return client.WaitForClose();
}

class HostileServerTest : public testing::TestWithParam<Fault> {
protected:
    void SetUp() override
    {
        upstream = std::make_unique<HostilePop3Server>(GetParam());
        ASSERT_NE(upstream->Port(), 0);
        WriteProxyServerSettings("127.0.0.1", upstream->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
    }

    void TearDown() override
    {
        relay.reset();
        upstream.reset();
    }

    // A full well-behaved session: login, a retrieval, QUIT.
    void ServeWell()
    {
        Pop3TestClient client(relay->Port());
        ASSERT_TRUE(client.Login("alice", "secret"));
        EXPECT_EQ(client.MultiLineCommand("RETR 1"), "+OK 5 octets\r\nhi\r\n.\r\n");
        EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    }

    ScopedRegistry registry;
    std::unique_ptr<HostilePop3Server> upstream;
    std::unique_ptr<InProcessRelay> relay;
};

std::string FaultName(const testing::TestParamInfo<Fault>& info)
{
    // In the order of the enumeration.
    static const char* const kNames[] = {"None", "NeverGreets", "StallsAfterGreeting", "StallsInRetr",
                                         "LongLine", "BareLfAndNul", "ClosesMidLine", "Garbage", "Resets"};
    return kNames[static_cast<int>(info.param)];
}

}  // namespace

TEST_P(HostileServerTest, ClientIsReleasedAndTheNextOneServed)
{
    ServeWell();  // the first session makes what later sessions reuse
    ASSERT_TRUE(relay->CollectAll());
    ASSERT_TRUE(upstream->WaitUntilIdle());  // the mail server's side of it has ended too
    const int descriptors = SocketCount();
    const int threads = ThreadCount();
    const bool hangs = GetParam() == Fault::NeverGreets || GetParam() == Fault::StallsAfterGreeting ||
                       GetParam() == Fault::StallsInRetr;
    {
        Pop3TestClient client(relay->Port(), hangs ? kHungWaitMs : Pop3TestClient::kDefaultTimeoutMs);
        switch (GetParam()) {
        case Fault::None:
            break;
        case Fault::NeverGreets:
            EXPECT_EQ(client.ReadLine(), std::nullopt);
            break;
        case Fault::StallsAfterGreeting:
            ASSERT_EQ(client.ReadLine(), "+OK hostile ready\r\n");
            EXPECT_EQ(client.Command("USER alice"), std::nullopt);
            break;
        case Fault::Garbage:
        case Fault::Resets:
            ASSERT_EQ(client.ReadLine(), "+OK hostile ready\r\n");
            client.SendLine("USER alice");
            EXPECT_TRUE(EndsConnection(client));
            break;
        case Fault::StallsInRetr:
            ASSERT_TRUE(client.Login("alice", "secret"));
            ASSERT_EQ(client.Command("RETR 1"), "+OK 1000 octets\r\n");
            EXPECT_EQ(client.ReadLine(), "From: a@example.org\r\n");
            EXPECT_EQ(client.ReadLine(), "\r\n");
            EXPECT_EQ(client.ReadLine(), std::nullopt);  // the partial line is not passed on
            break;
        case Fault::LongLine:
            ASSERT_TRUE(client.Login("alice", "secret"));
            ASSERT_EQ(client.Command("RETR 1"), "+OK 67108864 octets\r\n");
            EXPECT_TRUE(EndsConnection(client));
            break;
        case Fault::BareLfAndNul:
            // Lines pass as the server sent them; only the CR LF pairs end lines.
            ASSERT_TRUE(client.Login("alice", "secret"));
            EXPECT_EQ(client.MultiLineCommand("RETR 1"), HostilePop3Server::kOddMail);
            EXPECT_EQ(client.Command("NOOP"), "+OK\r\n");
            client.SendLine("QUIT");
            EXPECT_TRUE(EndsConnection(client));
            break;
        case Fault::ClosesMidLine:
            ASSERT_TRUE(client.Login("alice", "secret"));
            ASSERT_EQ(client.Command("RETR 1"), "+OK 1000 octets\r\n");
            EXPECT_EQ(client.ReadLine(), "From: a@example.org\r\n");
            EXPECT_TRUE(EndsConnection(client));
            break;
        }
        if (hangs) {
            // A hung server leaves the client connected as long as the client likes.
            EXPECT_TRUE(client.IsConnected());
            EXPECT_EQ(relay->Server()->ConnectionCount(), 1u);
        }
    }
    // Once the client has gone, a session waiting for a hung server ends by itself after a short grace.
    EXPECT_TRUE(relay->CollectAll(std::chrono::seconds(10))) << "the session outlives its client";
    EXPECT_TRUE(SocketsAndThreadsBackTo(descriptors, threads))
        << SocketCount() << " sockets, " << descriptors << " before; " << ThreadCount() << " threads, "
        << threads << " before";
    ServeWell();
}

INSTANTIATE_TEST_SUITE_P(EveryFault, HostileServerTest,
                         testing::Values(Fault::NeverGreets, Fault::StallsAfterGreeting, Fault::StallsInRetr,
                                         Fault::LongLine, Fault::BareLfAndNul, Fault::ClosesMidLine, Fault::Garbage,
                                         Fault::Resets),
                         FaultName);
