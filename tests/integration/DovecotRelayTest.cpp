// Through the relay, Dovecot's answers reach the client byte for byte as they do directly, every retrieved
// mail is captured once, and fifty clients at once all get their mails.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "integration/DovecotServer.h"
#include "integration/InProcessRelay.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"

namespace {

// The relay in the test process in front of a private Dovecot holding the standard mail set.
class DovecotRelayTest : public testing::Test {
protected:
    void SetUp() override
    {
        dovecot = std::make_unique<DovecotServer>("standard");
        ASSERT_TRUE(dovecot->IsRunning()) << dovecot->Error();
        WriteProxyServerSettings("127.0.0.1", dovecot->Port(), 0);
        relay = std::make_unique<InProcessRelay>();
        ASSERT_NE(relay->Port(), 0);
    }

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
