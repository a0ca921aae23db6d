// Clients opening and closing connections as fast as they can, in front of a private Dovecot: the periodic
// collection takes at most one finished session per tick, so finished sessions pile up while the storm lasts; the
// pile must cost memory only (no descriptor, no thread), the server must keep accepting, and once collected the
// process holds what it held before.
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

class StormTest : public testing::Test {
protected:
    void SetUp() override
    {
        dovecot = std::make_unique<DovecotServer>("sized:1:1024");
        ASSERT_TRUE(dovecot->IsRunning()) << dovecot->Error();
        WriteProxyServerSettings("127.0.0.1", dovecot->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0) << "the relay does not listen";
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

    void TearDown() override
    {
        relay.reset();
        dovecot.reset();
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

    ScopedRegistry registry;
    std::unique_ptr<DovecotServer> dovecot;
    std::unique_ptr<InProcessRelay> relay;
    int descriptors = 0;
    long threads = 0;
    std::string descriptorKinds;
};

}  // namespace

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
