// The relay in front of a private Dovecot: its answers reach the client byte for byte as they do directly, every
// retrieved mail is captured once, fifty clients at once all get their mails, and a storm of clients opening and
// closing connections leaves nothing behind.
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

// The relay in the test process in front of a private Dovecot holding a named mail set.
class DovecotRelayTest : public testing::Test {
protected:
    void StartWith(const std::string& mailSet)
    {
        dovecot = std::make_unique<DovecotServer>(mailSet);
        ASSERT_TRUE(dovecot->IsRunning()) << dovecot->Error();
        WriteProxyServerSettings("127.0.0.1", dovecot->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
    }

    void SetUp() override { StartWith("standard"); }

    Pop3TestClient LoggedIn(std::uint16_t port)
    {
        Pop3TestClient client(port);
        EXPECT_TRUE(client.Login(dovecot->User(), dovecot->Password()));
        return client;
    }
    Pop3TestClient Direct() { return LoggedIn(dovecot->Port()); }
    Pop3TestClient Relayed() { return LoggedIn(relay->Port()); }

    ScopedRegistry registry;
    std::unique_ptr<DovecotServer> dovecot;
    std::unique_ptr<InProcessRelay> relay;  // after dovecot: stopped first
};

// Bounds each read of the storm's clients: a session that is never answered fails the test instead of hanging it.
constexpr int kClientTimeoutMs = 10000;

// How a storm client leaves its session.
enum class Leaving { Quit, CloseAfterGreeting, CloseAtOnce };

// One session; true when every answer the client waited for came.
bool Session(std::uint16_t port, Leaving leaving)
{
    Pop3TestClient client(port, kClientTimeoutMs);
    if (!client.IsConnected() || leaving == Leaving::CloseAtOnce) {
        return client.IsConnected();
    }
    const bool greeted = client.ReadLine().value_or("").starts_with("+OK");
    if (!greeted || leaving == Leaving::CloseAfterGreeting) {
        return greeted;
    }
    return client.Command("QUIT").value_or("").starts_with("+OK") && client.WaitForClose();
}

// Clients opening and closing connections as fast as they can: the periodic collection takes at most one finished
// session per tick, so finished sessions pile up while the storm lasts; the pile must cost memory only (no
// descriptor, no thread), the server must keep accepting, and once collected the process holds what it held before.
class StormTest : public DovecotRelayTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartWith("sized:1:1024"));
        // The first session makes what later sessions reuse; the counts are taken after it.
        ASSERT_TRUE(Session(relay->Port(), Leaving::Quit));
        ASSERT_TRUE(relay->CollectAll());
        // Its threads end a moment after they were collected: the counts are taken once they stay put.
        for (int i = 0; i < 100; ++i) {
            const long seen = ThreadCount();
            std::this_thread::sleep_for(20ms);
            if (ThreadCount() == seen) {
                break;
            }
        }
        descriptors = OpenDescriptorCount();
        threads = ThreadCount();
        descriptorKinds = DescriptorKinds();
    }

    // Threads end, and their descriptors close, a moment after their session has been reported finished.
    void ExpectBackToBefore()
    {
        EXPECT_TRUE(Eventually([this] { return OpenDescriptorCount() == descriptors && ThreadCount() == threads; }))
            << OpenDescriptorCount() << " descriptors (" << descriptors << " before), " << ThreadCount()
            << " threads (" << threads << " before); now " << DescriptorKinds() << "; before " << descriptorKinds;
    }

    void ExpectCollectedAndServing()
    {
        EXPECT_TRUE(relay->CollectAll(60s)) << "sessions outlive their clients";
        ExpectBackToBefore();
        EXPECT_TRUE(Session(relay->Port(), Leaving::Quit)) << "the server no longer serves";
    }

    int descriptors = 0;
    long threads = 0;
    std::string descriptorKinds;
};


}  // namespace

TEST_F(DovecotRelayTest, EveryAnswerIsTheSameAsDirect)
{
    Pop3TestClient direct = Direct();
    Pop3TestClient relayed = Relayed();
    const int count = dovecot->MailCount();
    ASSERT_GT(count, 0);
    std::vector<std::pair<std::string, bool>> commands = {
        {"STAT", false}, {"LIST", true}, {"UIDL", true}, {"NOOP", false}, {"LIST 99", false}, {"RETR 99", true},
    };
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        commands.insert(commands.end(), {{"RETR " + n, true}, {"TOP " + n + " 0", true}, {"TOP " + n + " 3", true},
                                         {"LIST " + n, false}, {"UIDL " + n, false}});
    }
    commands.push_back({"RSET", false});
    for (const auto& [line, multiLine] : commands) {
        SCOPED_TRACE(line);
        const auto expected = multiLine ? direct.MultiLineCommand(line) : direct.Command(line);
        const auto actual = multiLine ? relayed.MultiLineCommand(line) : relayed.Command(line);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(actual, expected);
    }
    EXPECT_EQ(relayed.Command("QUIT"), direct.Command("QUIT"));
    EXPECT_TRUE(relayed.WaitForClose());
    // Only the successful RETRs were captured, one mail each.
    EXPECT_EQ(relay->WaitForPendingMails(static_cast<std::size_t>(count)), static_cast<std::size_t>(count));
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_EQ(relay->PendingMails(), static_cast<std::size_t>(count));
}

TEST_F(DovecotRelayTest, DeleteThenQuitDeletesOnTheServer)
{
    const int count = dovecot->MailCount();
    {
        Pop3TestClient relayed = Relayed();
        EXPECT_EQ(relayed.Command("DELE 1").value_or("").substr(0, 3), "+OK");
        EXPECT_EQ(relayed.Command("DELE 2").value_or("").substr(0, 3), "+OK");
        EXPECT_EQ(relayed.Command("QUIT").value_or("").substr(0, 3), "+OK");
        EXPECT_TRUE(relayed.WaitForClose());
    }
    Pop3TestClient direct = Direct();
    EXPECT_EQ(direct.Command("STAT").value_or("").rfind("+OK " + std::to_string(count - 2) + " ", 0), 0u);
}

TEST_F(DovecotRelayTest, FiftyClientsAtOnceAllGetTheirMails)
{
    constexpr int kClients = 50;
    const int smallMails = dovecot->MailCount() - 1;  // the last mail is the large one
    std::vector<std::string> expected;
    {
        Pop3TestClient direct = Direct();
        for (int i = 1; i <= smallMails; ++i) {
            expected.push_back(direct.MultiLineCommand("RETR " + std::to_string(i)).value_or(""));
        }
    }
    std::atomic<int> complete{0};
    std::mutex failureLock;
    std::vector<std::string> failures;
    const auto fail = [&](std::string what) {
        std::scoped_lock guard(failureLock);
        failures.push_back(std::move(what));
    };
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&] {
            Pop3TestClient client(relay->Port());
            if (!client.Login(dovecot->User(), dovecot->Password())) {
                return fail("login");
            }
            for (int i = 1; i <= smallMails; ++i) {
                const auto answer = client.MultiLineCommand("RETR " + std::to_string(i));
                if (answer != expected[static_cast<std::size_t>(i - 1)]) {
                    return fail("RETR " + std::to_string(i) + ": " + answer.value_or("(no answer)").substr(0, 80));
                }
            }
            if (!client.Command("QUIT") || !client.WaitForClose()) {
                return fail("QUIT");
            }
            ++complete;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& failure : failures) {
        ADD_FAILURE() << failure;
    }
    EXPECT_EQ(complete, kClients);
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_EQ(relay->Server()->ConnectionCount(), 0u);
    EXPECT_EQ(relay->Server()->AgentCount(), 0u);
}

TEST_F(StormTest, FinishedSessionsAwaitingCollectionHoldNoDescriptorAndNoThread)
{
    struct Case {
        const char* name;
        Leaving leaving;
    };
    const Case cases[] = {
        {"greeting and QUIT", Leaving::Quit},
        // The relay's mail server connection is still open when its client goes.
        {"closed after the greeting", Leaving::CloseAfterGreeting},
    };
    constexpr std::size_t kSessions = 200;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(relay->CollectAll());
        for (std::size_t i = 0; i < kSessions; ++i) {
            ASSERT_TRUE(Session(relay->Port(), c.leaving)) << "session " << i;
        }
        // Nothing has been collected: every session is still in the books, and none holds anything but memory.
        EXPECT_TRUE(Eventually([&] { return relay->Server()->AgentCount() >= kSessions; }));
        ExpectBackToBefore();
        EXPECT_EQ(relay->Server()->ConnectionCount(), kSessions);
        ExpectCollectedAndServing();
    }
}

TEST_F(StormTest, ClientsOpeningAndClosingAsFastAsTheyCanWhileThePeriodicCollectionRuns)
{
    // Clients that close at once outrun the server's accepting by far; their sessions are bounded by number, so
    // that the backlog the server works off afterwards stays small.
    struct Case {
        const char* name;
        Leaving leaving;
        int sessionsPerClient;
    };
    const Case cases[] = {
        {"greeting and QUIT", Leaving::Quit, 100000},
        {"closed after the greeting", Leaving::CloseAfterGreeting, 100000},
        {"closed at once", Leaving::CloseAtOnce, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> storming{true};
        std::atomic<int> sessions{0};
        std::atomic<int> failures{0};
        // The application's notification window collects every 500 ms.
        std::mutex tickLock;
        std::condition_variable tickStop;
        std::thread ticker([&] {
            std::unique_lock tickGuard(tickLock);
            while (!tickStop.wait_for(tickGuard, 500ms, [&] { return !storming.load(); })) {
                relay->Collect();
            }
        });
        std::vector<std::thread> clients;
        for (int i = 0; i < 4; ++i) {
            clients.emplace_back([&] {
                for (int done = 0; done < c.sessionsPerClient && storming.load(); ++done) {
                    (Session(relay->Port(), c.leaving) ? sessions : failures)++;
                }
            });
        }
        // The storm lasts a fixed time; how many sessions fit into it is not asserted.
        std::this_thread::sleep_for(2s);
        {
            std::scoped_lock tickGuard(tickLock);
            storming = false;
        }
        tickStop.notify_all();
        for (std::thread& client : clients) {
            client.join();
        }
        ticker.join();
        EXPECT_EQ(failures.load(), 0) << "of " << sessions.load() << " sessions";
        EXPECT_GT(sessions.load(), 0);
        ExpectCollectedAndServing();
    }
}
