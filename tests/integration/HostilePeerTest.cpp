// Misbehaving mail servers and clients never take the relay down: the session ends (or lasts while its client
// waits on a hung server), its threads and descriptors are collected, and the next client is served.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "support/Eventually.h"
#include "support/ProcessCounts.h"
#include "support/ScriptedPop3Server.h"

namespace {

const std::string kGreeting = "+OK hostile ready\r\n";
const std::string kLoggedIn = kGreeting + "+OK\r\n+OK\r\n";
const std::string kShortMail = "+OK 5 octets\r\nhi\r\n.\r\n";
// How long a client waits for an answer that a hung server will never let through.
constexpr int kHungWaitMs = 300;

// What the mail server does to the session it was armed for: its answer to the first command or to RETR 1,
// and what it does next.
struct Fault {
    const char* name;
    bool greets;
    bool atRetr;
    std::string answer;
    enum class Then { Stall, Close, Reset, GoOn } then;
    // Everything the client gets for "USER alice", "PASS secret", "RETR 1", "NOOP" and "QUIT" sent at once.
    std::string clientGets;
};

std::string Garbage() {
    std::string garbage(1 << 20, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<char>(i * 7919 % 251);
    }
    std::replace(garbage.begin(), garbage.end(), '\r', '\n');  // never a line end: unfinished until the close
    return garbage;
}

const std::string kOddMail = std::string(
    "+OK odd octets\r\nFrom: a@example.org\r\n\r\nbare\nLF\n\nlines\r\n"
    "a NUL \0 in the middle\r\n\0\0\0\r\n.\r\n",
    86);

using Then = Fault::Then;

// The relay in front of a mail server that serves every session well (RETR 2 is a large mail) except the one
// it was armed for. The first session, which makes what later sessions reuse, is served before the
// descriptors and threads of the process are counted.
class HostilePeerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(upstream.Port(), 0);
        WriteProxyServerSettings("127.0.0.1", upstream.Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
        ServeWell();
        ASSERT_TRUE(relay->CollectAll());
        ASSERT_TRUE(upstream.WaitUntilIdle());  // the mail server's side of it has ended too
        descriptors = OpenDescriptorCount();
        threads = ThreadCount();
    }

    void Serve(Pop3TestClient& peer, ScriptedPop3Server& server, const Fault* fault) {
        if (fault != nullptr && !fault->greets) {
            return server.Stall(peer);
        }
        if (!peer.SendRaw(kGreeting)) {
            return;
        }
        bool first = true;
        while (!server.Stopping() && !peer.PeerClosed()) {
            std::optional<std::string> line = peer.ReadLine();  // nullopt at each poll without a command
            if (!line) {
                continue;
            }
            line->resize(line->size() - 2);
            if (fault != nullptr && (fault->atRetr ? *line == "RETR 1" : first)) {
                peer.SendRaw(fault->answer);
                if (fault->then == Then::Stall) {
                    server.Stall(peer);
                } else if (fault->then == Then::Reset) {
                    peer.Reset();
                }
                if (fault->then != Then::GoOn) {
                    return;
                }
                fault = nullptr;
                continue;
            }
            first = false;
            if (*line == "QUIT") {
                peer.SendRaw("+OK bye\r\n");
                return;
            }
            if (*line == "RETR 2") {  // 32 MiB in lines of 1 KiB
                std::string mail = "+OK large\r\n";
                for (int i = 0; i < 32 * 1024; ++i) {
                    mail += std::string(1022, 'm') + "\r\n";
                }
                largeMailsSent += peer.SendRaw(mail + ".\r\n");
                continue;
            }
            peer.SendRaw(*line == "RETR 1" ? kShortMail : "+OK\r\n");
        }
    }

    void ServeWell() {
        Pop3TestClient client(relay->Port());
        ASSERT_TRUE(client.Login("alice", "secret"));
        EXPECT_EQ(client.MultiLineCommand("RETR 1"), kShortMail);
        EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    }

    // Once the client has gone, even a session waiting for a hung server ends by itself after a short grace.
    void ExpectAllReleasedAndServing() {
        EXPECT_TRUE(relay->CollectAll(std::chrono::seconds(10))) << "a session outlives its client";
        EXPECT_TRUE(DescriptorsAndThreadsBackTo(descriptors, threads))
            << OpenDescriptorCount() << " descriptors, " << descriptors << " before; " << ThreadCount()
            << " threads, " << threads << " before";
        ServeWell();
    }

    ScopedRegistry registry;
    std::atomic<const Fault*> armed{nullptr};
    std::atomic<int> largeMailsSent{0};
    // Each wait of its sessions looks at the stop flag every 50 ms.
    ScriptedPop3Server upstream{[this](Pop3TestClient& peer, ScriptedPop3Server& server) {
                                    Serve(peer, server, armed.exchange(nullptr));
                                },
                                50};
    std::unique_ptr<InProcessRelay> relay;  // after upstream: stopped first
    int descriptors = 0;
    long threads = 0;
};

}  // namespace

TEST_F(HostilePeerTest, MisbehavingMailServerReleasesTheClientAndTheNextOneIsServed) {
    const Fault faults[] = {
        {"never greets", false, false, "", Then::Stall, ""},
        {"stalls after the greeting", true, false, "", Then::Stall, kGreeting},
        // No part of a line is passed on.
        {"stalls in RETR", true, true, "+OK 1000 octets\r\nFrom: a@example.org\r\n\r\nthe start of a bo",
         Then::Stall, kLoggedIn + "+OK 1000 octets\r\nFrom: a@example.org\r\n\r\n"},
        {"64 MiB line", true, true, "+OK 67108864 octets\r\n" + std::string(64 << 20, 'A'), Then::Close,
         kLoggedIn + "+OK 67108864 octets\r\n"},
        // Lines pass as the server sent them; only the CR LF pairs end lines.
        {"bare LF and NUL", true, true, kOddMail, Then::GoOn, kLoggedIn + kOddMail + "+OK\r\n+OK bye\r\n"},
        {"closes mid-line", true, true, "+OK 1000 octets\r\nFrom: a@example.org\r\nSubj", Then::Close,
         kLoggedIn + "+OK 1000 octets\r\nFrom: a@example.org\r\n"},
        {"binary garbage", true, false, Garbage(), Then::Close, kGreeting},
        {"connection reset", true, false, "", Then::Reset, kGreeting},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        ASSERT_TRUE(relay->CollectAll());
        armed = &fault;
        const bool hangs = fault.then == Then::Stall;
        {
            Pop3TestClient client(relay->Port(), hangs ? kHungWaitMs : Pop3TestClient::kDefaultTimeoutMs);
            ASSERT_TRUE(client.SendRaw("USER alice\r\nPASS secret\r\nRETR 1\r\nNOOP\r\nQUIT\r\n"));
            EXPECT_EQ(client.ReadUntilClose(), fault.clientGets);
            // The fault's session has begun (so the next session is served well).
            EXPECT_TRUE(Eventually([&] { return armed.load() == nullptr; }));
            // A hung server leaves the client connected as long as the client likes.
            EXPECT_EQ(client.PeerClosed(), !hangs);
        }
        ExpectAllReleasedAndServing();
    }
}

TEST_F(HostilePeerTest, HalfOpenConnectionGetsItsAnswersThenItsEnd) {
    // The client shuts its sending side after pipelined commands: it gets all three answers, then the end.
    Pop3TestClient halfClosed(relay->Port());
    ASSERT_TRUE(halfClosed.SendRaw("USER alice\r\nPASS secret\r\nNOOP\r\n"));
    halfClosed.ShutdownSending();
    EXPECT_EQ(halfClosed.ReadUntilClose(), kLoggedIn + "+OK\r\n");
    EXPECT_TRUE(halfClosed.PeerClosed()) << "the relay keeps a half-closed connection open";
    halfClosed.Close();
    ExpectAllReleasedAndServing();
}

TEST_F(HostilePeerTest, TenThousandTinySegments) {
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.Login("alice", "secret"));
    // One octet per segment (the test client sends without Nagle's delay): 10,000 segments make 1,662 NOOP
    // commands after the login, sent without waiting for the answers.
    Pop3TestClient tiny(relay->Port());
    std::string stream = "USER alice\r\nPASS secret\r\n";
    while (stream.size() + 6 <= 10000) {
        stream += "NOOP\r\n";
    }
    for (std::size_t at = 0; at < stream.size(); ++at) {
        ASSERT_TRUE(tiny.SendRaw(stream.substr(at, 1)));
    }
    std::string expected = kGreeting;
    for (std::size_t commands = 2 + (stream.size() - 25) / 6; commands > 0; --commands) {
        expected += "+OK\r\n";
    }
    EXPECT_EQ(tiny.ReadBytes(expected.size()), expected);
    // Another client is served meanwhile and after.
    EXPECT_EQ(client.Command("NOOP"), "+OK\r\n");
    tiny.Close();
    client.Close();
    ExpectAllReleasedAndServing();
}

TEST_F(HostilePeerTest, CommandLineOfOneMebibyte) {
    // The relay takes a command line whole, however long (it holds it in memory only while relaying it), and
    // the session goes on afterwards; before login the long word is refused without reaching the server.
    const std::string huge(1 << 20, 'x');
    Pop3TestClient client(relay->Port());
    ASSERT_EQ(client.ReadLine(), kGreeting);
    EXPECT_EQ(client.Command(huge), "-ERR Unknown command: " + huge + "\r\n");
    ASSERT_EQ(client.Command("USER alice"), "+OK\r\n");
    ASSERT_EQ(client.Command("PASS secret"), "+OK\r\n");
    EXPECT_EQ(client.Command("NOOP " + huge), "+OK\r\n");
    EXPECT_EQ(client.Command("NOOP"), "+OK\r\n");
    client.Close();
    ExpectAllReleasedAndServing();
}

// The relay neither limits nor stops a client that does not read: the connection thread waits (without a
// timeout) for room in the client's socket, while the agent's receive loop goes on taking the answer from the
// mail server. Memory is bounded by the size of the answer being relayed, not by time, and the server is
// freed at once; the client's session ends when the client goes. A stop of a slow reader would break a client
// on a slow link, and the mail server's answer is bounded by the mail the user keeps there.
TEST_F(HostilePeerTest, ClientThatNeverReadsItsMail) {
    Pop3TestClient stuck(relay->Port());
    ASSERT_TRUE(stuck.Login("alice", "secret"));
    ASSERT_TRUE(stuck.SendLine("RETR 2"));
    // The mail server gets rid of the whole mail although the client reads nothing.
    EXPECT_TRUE(Eventually([&] { return largeMailsSent == 1; }));
    // Other clients are served meanwhile.
    ServeWell();
    stuck.Close();
    ExpectAllReleasedAndServing();
}
