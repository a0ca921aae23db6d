// Mail servers and clients that misbehave never take the relay down. A misbehaving mail server ends the client's
// connection (or, while the server hangs, leaves it open as long as the client keeps it, and the session ends soon
// after the client leaves); misbehaving clients (half-open connections, commands cut into thousands of segments,
// huge command lines, a client that never reads) are served to their end. Either way the session's threads and
// sockets are collected, and the next client is served.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "support/Eventually.h"
#include "support/ProcessCounts.h"
#include "support/ScriptedPop3Server.h"

namespace {

// How long a session of the hostile mail server waits for its peer before it looks at the stop flag again.
constexpr int kHostilePollMs = 50;
// How long a client waits for an answer that a hung server will never let through.
constexpr int kHungWaitMs = 300;

// A mail server on 127.0.0.1 that misbehaves on purpose: the second connection it accepts meets the chosen fault,
// every other connection a well-behaved POP3 server, so a test sees both the fault and the next client served.
// It is the scripted peer with the faults as its script; every wait ends when the peer closes or the server stops.
class HostilePop3Server {
public:
    enum class Fault {
        None,                // every connection is served well
        NeverGreets,         // accepts, then sends nothing at all
        StallsAfterGreeting, // greets, then never answers
        StallsInRetr,        // sends the start of a mail, then nothing more
        LongLine,            // answers RETR with 64 MiB without a line end, then closes
        BareLfAndNul,        // answers RETR with bare LFs and NUL bytes in a well-ended mail
        ClosesMidLine,       // closes in the middle of a line of the mail
        Garbage,             // answers the first command with binary garbage, then closes
        Resets,              // answers the first command with a connection reset
    };
    static constexpr std::size_t kLongLineSize = 64u << 20;
    // Well-behaved sessions answer "RETR 2" with a mail of this many lines of 1 KiB.
    static constexpr std::size_t kLargeMailLines = 32 * 1024;
    // The answer to RETR of the BareLfAndNul fault.
    static const std::string kOddMail;

    explicit HostilePop3Server(Fault fault);

    std::uint16_t Port() const { return server.Port(); }
    // Waits (bounded) until no connection is being served; true when none is.
    bool WaitUntilIdle() { return server.WaitUntilIdle(); }
    // How many large mails were sent whole (taken by the peer's socket).
    int LargeMailsSent() const { return largeMailsSent; }

private:
    void Serve(Pop3TestClient& peer, bool hostile);
    // One command line without its CR LF; nullopt when the peer closed or the server stops.
    std::optional<std::string> ReadCommand(Pop3TestClient& peer);

    Fault fault;
    std::atomic<int> sessions{0};
    std::atomic<int> largeMailsSent{0};
    ScriptedPop3Server server;  // last: its sessions end before the members above go
};

const std::string HostilePop3Server::kOddMail = std::string(
    "+OK odd octets\r\n"
    "From: a@example.org\r\n"
    "\r\n"
    "bare\nLF\n\nlines\r\n"
    "a NUL \0 in the middle\r\n"
    "\0\0\0\r\n"
    ".\r\n",
    86);

HostilePop3Server::HostilePop3Server(Fault fault)
    : fault(fault), server([this](Pop3TestClient& peer, ScriptedPop3Server&) {
          Serve(peer, sessions++ == 1 && this->fault != Fault::None);
      }, kHostilePollMs)
{
}

std::optional<std::string> HostilePop3Server::ReadCommand(Pop3TestClient& peer)
{
    while (!server.Stopping() && !peer.PeerClosed()) {
        if (std::optional<std::string> line = peer.ReadLine()) {
            line->resize(line->size() - 2);
            return line;
        }
    }
    return std::nullopt;
}

void HostilePop3Server::Serve(Pop3TestClient& peer, bool hostile)
{
    if (hostile && fault == Fault::NeverGreets) {
        server.Stall(peer);
        return;
    }
    if (!peer.SendRaw("+OK hostile ready\r\n")) {
        return;
    }
    if (hostile && fault == Fault::StallsAfterGreeting) {
        server.Stall(peer);
        return;
    }
    bool first = true;
    while (const std::optional<std::string> command = ReadCommand(peer)) {
        const std::string& line = *command;
        if (hostile && first && fault == Fault::Resets) {
            peer.Reset();
            return;
        }
        if (hostile && first && fault == Fault::Garbage) {
            std::string garbage(1 << 20, '\0');
            unsigned state = 12345;
            for (char& c : garbage) {
                state = state * 1103515245u + 12345u;
                c = static_cast<char>(state >> 16);
                if (c == '\r') {
                    c = '\n';  // never a line end: the answer stays unfinished until the close
                }
            }
            peer.SendRaw(garbage);
            return;
        }
        first = false;
        const std::string word = line.substr(0, 4);
        if (word == "QUIT") {
            peer.SendRaw("+OK bye\r\n");
            return;
        }
        if (line == "RETR 2" && !hostile) {
            std::string mail = "+OK large\r\n";
            const std::string body(1022, 'm');
            for (std::size_t i = 0; i < kLargeMailLines; ++i) {
                mail += body + "\r\n";
            }
            if (peer.SendRaw(mail + ".\r\n")) {
                ++largeMailsSent;
            }
            continue;
        }
        if (word != "RETR" || !hostile) {
            peer.SendRaw(word == "RETR" ? "+OK 5 octets\r\nhi\r\n.\r\n" : "+OK\r\n");
            continue;
        }
        switch (fault) {
        case Fault::StallsInRetr:
            peer.SendRaw("+OK 1000 octets\r\nFrom: a@example.org\r\n\r\nthe start of a bo");
            server.Stall(peer);
            return;
        case Fault::LongLine: {
            if (!peer.SendRaw("+OK 67108864 octets\r\n")) {
                return;
            }
            const std::string block(1 << 20, 'A');
            for (std::size_t sent = 0; sent < kLongLineSize && peer.SendRaw(block); sent += block.size()) {
            }
            return;
        }
        case Fault::BareLfAndNul:
            peer.SendRaw(kOddMail);
            continue;
        case Fault::ClosesMidLine:
            peer.SendRaw("+OK 1000 octets\r\nFrom: a@example.org\r\nSubj");
            return;
        default:
            peer.SendRaw("+OK\r\n");
            continue;
        }
    }
}

// The relay in front of the hostile mail server. The first session, which makes what later sessions reuse, is
// served before the sockets and threads of the process are counted.
template <typename TestBase>
class HostileRelay : public TestBase {
protected:
    void Start(HostilePop3Server::Fault fault)
    {
        upstream = std::make_unique<HostilePop3Server>(fault);
        ASSERT_NE(upstream->Port(), 0);
        WriteProxyServerSettings("127.0.0.1", upstream->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
        ServeWell();
        ASSERT_TRUE(relay->CollectAll());
        ASSERT_TRUE(upstream->WaitUntilIdle());  // the mail server's side of it has ended too
        sockets = SocketCount();
        threads = ThreadCount();
        descriptorList = DescriptorKinds();
    }

    // A full well-behaved session: login, a retrieval, QUIT.
    void ServeWell()
    {
        Pop3TestClient client(relay->Port());
        ASSERT_TRUE(client.Login("alice", "secret"));
        EXPECT_EQ(client.MultiLineCommand("RETR 1"), "+OK 5 octets\r\nhi\r\n.\r\n");
        EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    }

    // Once the client has gone, even a session waiting for a hung server ends by itself after a short grace.
    void ExpectAllReleasedAndServing()
    {
        EXPECT_TRUE(relay->CollectAll(std::chrono::seconds(10))) << "a session outlives its client";
        EXPECT_TRUE(SocketsAndThreadsBackTo(sockets, threads))
            << SocketCount() << " sockets, " << sockets << " before; " << ThreadCount() << " threads, " << threads
            << " before; now " << DescriptorKinds() << "; before " << descriptorList;
        ServeWell();
    }

    ScopedRegistry registry;
    std::unique_ptr<HostilePop3Server> upstream;
    std::unique_ptr<InProcessRelay> relay;  // after upstream: stopped first
    int sockets = 0;
    long threads = 0;
    std::string descriptorList;
};

using Fault = HostilePop3Server::Fault;

class HostileClientTest : public HostileRelay<testing::Test> {
protected:
    void SetUp() override { Start(Fault::None); }
};

class HostileServerTest : public HostileRelay<testing::TestWithParam<Fault>> {
protected:
    void SetUp() override { Start(GetParam()); }
};

// Reads until the relay closes the connection; false when it is still open at the deadline.
bool EndsConnection(Pop3TestClient& client)
{
    client.ReadUntilClose();
    return client.WaitForClose();
}

std::string FaultName(const testing::TestParamInfo<Fault>& info)
{
    // In the order of the enumeration.
    static const char* const kNames[] = {"None", "NeverGreets", "StallsAfterGreeting", "StallsInRetr",
                                         "LongLine", "BareLfAndNul", "ClosesMidLine", "Garbage", "Resets"};
    return kNames[static_cast<int>(info.param)];
}

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

TEST_P(HostileServerTest, ClientIsReleasedAndTheNextOneServed)
{
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
    ExpectAllReleasedAndServing();
}

INSTANTIATE_TEST_SUITE_P(EveryFault, HostileServerTest,
                         testing::Values(Fault::NeverGreets, Fault::StallsAfterGreeting, Fault::StallsInRetr,
                                         Fault::LongLine, Fault::BareLfAndNul, Fault::ClosesMidLine, Fault::Garbage,
                                         Fault::Resets),
                         FaultName);
