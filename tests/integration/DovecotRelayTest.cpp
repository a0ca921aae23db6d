// The relay in front of a private Dovecot: answers byte for byte as direct, each retrieved mail captured
// once, fifty clients at once served, and storms of clients leave nothing behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integration/DovecotServer.h"
#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "support/Eventually.h"
#include "support/ProcessCounts.h"

namespace {

using namespace std::chrono_literals;

class DovecotRelayTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dovecot.IsRunning()) << dovecot.Error();
        WriteProxyServerSettings("127.0.0.1", dovecot.Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
    }

    Pop3TestClient LoggedIn(std::uint16_t port) {
        Pop3TestClient client(port);
        EXPECT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        return client;
    }

    ScopedRegistry registry;
    DovecotServer dovecot;
    std::unique_ptr<InProcessRelay> relay;  // after dovecot: stopped first
};

enum class Leaving { Quit, CloseAfterGreeting, CloseAtOnce };

// One session whose every read is bounded; true when every answer the client waited for came.
bool Session(std::uint16_t port, Leaving leaving) {
    Pop3TestClient client(port, 10000);
    if (!client.IsConnected() || leaving == Leaving::CloseAtOnce) {
        return client.IsConnected();
    }
    const bool greeted = client.ReadLine().value_or("").starts_with("+OK");
    if (!greeted || leaving == Leaving::CloseAfterGreeting) {
        return greeted;
    }
    return client.Command("QUIT").value_or("").starts_with("+OK") && client.WaitForClose();
}

}  // namespace

TEST_F(DovecotRelayTest, EveryAnswerIsTheSameAsDirect) {
    Pop3TestClient direct = LoggedIn(dovecot.Port());
    Pop3TestClient relayed = LoggedIn(relay->Port());
    const int count = dovecot.MailCount();
    ASSERT_GT(count, 0);
    std::vector<std::string> commands = {"STAT", "LIST", "UIDL", "NOOP", "LIST 99", "RETR 99"};
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        commands.insert(commands.end(),
                        {"RETR " + n, "TOP " + n + " 0", "TOP " + n + " 3", "LIST " + n, "UIDL " + n});
    }
    commands.push_back("RSET");
    for (const std::string& line : commands) {
        SCOPED_TRACE(line);
        const bool multiLine =
            line.starts_with("RETR") || line.starts_with("TOP") || line == "LIST" || line == "UIDL";
        const auto expected = multiLine ? direct.MultiLineCommand(line) : direct.Command(line);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(multiLine ? relayed.MultiLineCommand(line) : relayed.Command(line), expected);
    }
    EXPECT_EQ(relayed.Command("QUIT"), direct.Command("QUIT"));
    EXPECT_TRUE(relayed.WaitForClose());
    // Only the successful RETRs were captured, one mail each.
    EXPECT_TRUE(Eventually([&] { return relay->PendingMails() >= static_cast<std::size_t>(count); }));
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_EQ(relay->PendingMails(), static_cast<std::size_t>(count));
}

TEST_F(DovecotRelayTest, DeleteThenQuitDeletesOnTheServer) {
    {
        Pop3TestClient relayed = LoggedIn(relay->Port());
        for (const char* command : {"DELE 1", "DELE 2", "QUIT"}) {
            EXPECT_TRUE(relayed.Command(command).value_or("").starts_with("+OK")) << command;
        }
        EXPECT_TRUE(relayed.WaitForClose());
    }
    const std::string remaining = "+OK " + std::to_string(dovecot.MailCount() - 2) + " ";
    EXPECT_TRUE(LoggedIn(dovecot.Port()).Command("STAT").value_or("").starts_with(remaining));
}

TEST_F(DovecotRelayTest, FiftyClientsAtOnceAllGetTheirMails) {
    const int smallMails = dovecot.MailCount() - 1;  // the last mail is the large one
    std::vector<std::string> expected;
    {
        Pop3TestClient direct = LoggedIn(dovecot.Port());
        for (int i = 1; i <= smallMails; ++i) {
            expected.push_back(direct.MultiLineCommand("RETR " + std::to_string(i)).value_or(""));
        }
    }
    std::vector<std::thread> threads;
    for (int c = 0; c < 50; ++c) {
        threads.emplace_back([&] {
            Pop3TestClient client = LoggedIn(relay->Port());
            for (int i = 1; i <= smallMails; ++i) {
                EXPECT_TRUE(client.MultiLineCommand("RETR " + std::to_string(i)) == expected[i - 1])
                    << "RETR " << i;
            }
            EXPECT_TRUE(client.Command("QUIT") && client.WaitForClose());
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(relay->CollectAll());
}

// Clients open and close connections as fast as they can while the periodic collection takes one finished
// session per tick: the pile of finished sessions costs memory only (no descriptor, no thread), the server
// keeps accepting, and once all are collected the process holds what it held before.
TEST_F(DovecotRelayTest, StormOfClientsWhileThePeriodicCollectionRuns) {
    // The first session makes what later sessions reuse; the counts are taken after it (fewer later is no
    // fault: its threads may still have been ending).
    ASSERT_TRUE(Session(relay->Port(), Leaving::Quit));
    ASSERT_TRUE(relay->CollectAll());
    const int descriptors = OpenDescriptorCount();
    const long threads = ThreadCount();
    struct Case {
        const char* name;
        Leaving leaving;
        int sessionsPerClient;  // clients that close at once outrun the server's accepting by far
    };
    const Case cases[] = {
        {"greeting and QUIT", Leaving::Quit, 100},
        // The relay's mail server connection is still open when its client goes.
        {"closed after the greeting", Leaving::CloseAfterGreeting, 100},
        {"closed at once", Leaving::CloseAtOnce, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(relay->CollectAll());
        std::atomic<int> failures{0};
        // The application's notification window collects every 500 ms.
        std::mutex tickLock;
        std::condition_variable tickStop;
        bool storming = true;  // guarded by tickLock
        std::thread ticker([&] {
            std::unique_lock tickGuard(tickLock);
            while (!tickStop.wait_for(tickGuard, 500ms, [&] { return !storming; })) {
                relay->Collect();
            }
        });
        std::vector<std::thread> clients;
        for (int i = 0; i < 4; ++i) {
            clients.emplace_back([&] {
                for (int done = 0; done < c.sessionsPerClient; ++done) {
                    failures += Session(relay->Port(), c.leaving) ? 0 : 1;
                }
            });
        }
        for (std::thread& client : clients) {
            client.join();
        }
        {
            std::scoped_lock tickGuard(tickLock);
            storming = false;
        }
        tickStop.notify_all();
        ticker.join();
        EXPECT_EQ(failures.load(), 0);
        EXPECT_GT(relay->Server()->ConnectionCount(), 0u) << "no finished sessions left to look at";
        EXPECT_TRUE(DescriptorsAndThreadsBackTo(descriptors, threads))
            << OpenDescriptorCount() << " descriptors (" << descriptors << " before), " << ThreadCount()
            << " threads (" << threads << " before), " << relay->Server()->ConnectionCount()
            << " sessions not collected";
        EXPECT_TRUE(relay->CollectAll(60s)) << "sessions outlive their clients";
        EXPECT_TRUE(DescriptorsAndThreadsBackTo(descriptors, threads));
        EXPECT_TRUE(Session(relay->Port(), Leaving::Quit)) << "the server no longer serves";
    }
}
