// The listening server: where it listens, the two configuration warnings, its books of connections and agents.
#include <algorithm>

#include "pop3/RelayTestFixture.h"
#include "support/Eventually.h"

namespace {
constexpr const char* kUnresolvableText = "受信メールサーバが見つかりません";
constexpr const char* kConflictText = "メールソフトに登録のメールサーバの設定と";

long CountBoxesContaining(const std::vector<std::string>& boxes, const char* text)
{
    return std::ranges::count_if(boxes, [&](const std::string& box) { return box.find(text) != std::string::npos; });
}
}  // namespace

// Listens on the loopback address only; a second server on a port in use says so and listens nowhere.
TEST_F(RelayTest, ListensOnTheLoopbackAddressOnlyAndReportsAPortInUse)
{
    StartWithAnswers({});
    WriteProxyServerSettings("127.0.0.1", upstream->Port(), relay->Port());
    testing::internal::CaptureStderr();
    EXPECT_EQ(InProcessRelay().Port(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "VUVed3UzeroVadave: cannot listen on 127.0.0.1:" + std::to_string(relay->Port()) +
                  ": the port is already in use\n");
    EXPECT_TRUE(CanConnect("127.0.0.1", relay->Port()));
    EXPECT_FALSE(CanConnect("127.0.0.2", relay->Port()));
}

// "localhost" and equal ports (both 0 here) name this server itself as the mail server: one warning, and the server
// still listens. The address is compared as written.
TEST_F(RelayTest, ConflictingSettingsWarnOnceAndTheServerStillListens)
{
    const struct {
        const char* address;
        int warnings;
    } cases[] = {{"localhost", 1}, {"LOCALHOST", 0}, {"127.0.0.2", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        ASSERT_NO_FATAL_FAILURE(StartRelayFor(c.address, 0));
        if (c.warnings == 1) {
            // The relay agent refuses to connect to this server itself: no greeting.
            EXPECT_TRUE(Pop3TestClient(relay->Port()).WaitForClose());
            EXPECT_EQ(relay->Boxes().size(), 1u);
            EXPECT_TRUE(relay->CollectAll());
        }
        EXPECT_EQ(CountBoxesContaining(relay->Boxes(), kConflictText), c.warnings);
        relay.reset();
    }
}

TEST_F(RelayTest, UnresolvableMailServerWarnsAndClosesEachConnection)
{
    ASSERT_NO_FATAL_FAILURE(StartRelayFor("no-such-host.invalid", 110));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_TRUE(Pop3TestClient(relay->Port()).WaitForClose());
        EXPECT_EQ(CountBoxesContaining(relay->Boxes(), kUnresolvableText), attempt);
        EXPECT_EQ(relay->Server()->ConnectionCount(), 0u);
        EXPECT_EQ(relay->Server()->AgentCount(), 0u);
    }
}

TEST_F(RelayTest, EachCollectionDeletesAtMostOneFinishedConnection)
{
    StartWithAnswers({});
    {
        Pop3TestClient clients[3] = {LoggedInClient(), LoggedInClient(), LoggedInClient()};
        for (Pop3TestClient& client : clients) {
            EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
            EXPECT_TRUE(client.WaitForClose());
        }
    }
    std::size_t before = relay->Server()->ConnectionCount();
    EXPECT_EQ(before, 3u);
    EXPECT_TRUE(Eventually([&] {
        relay->Collect();
        const std::size_t after = relay->Server()->ConnectionCount();
        EXPECT_LE(before - after, 1u);
        before = after;
        return before == 0;
    }));
    EXPECT_TRUE(relay->CollectAll());
}

TEST_F(RelayTest, StopWhileTenClientsAreRetrievingEndsEverything)
{
    // The upstream sends the start of a mail and then nothing more, until the relay closes the connection.
    StartWithScript([](Pop3TestClient& peer, ScriptedPop3Server&) {
        peer.SendRaw("+OK hello\r\n");
        while (auto line = peer.ReadLine()) {
            if (line->starts_with("RETR")) {
                peer.SendRaw("+OK\r\nSubject: endless\r\n\r\n" + std::string(100000, 'x') + "\r\n");
                peer.WaitForClose();
                return;
            }
            peer.SendRaw("+OK\r\n");
        }
    });
    std::vector<Pop3TestClient> clients;
    for (int i = 0; i < 10; ++i) {
        clients.push_back(LoggedInClient());
        ASSERT_TRUE(clients.back().SendLine("RETR 1"));
        ASSERT_TRUE(clients.back().ReadLine());  // the relay is in the middle of this mail
    }
    relay->Stop();
    for (Pop3TestClient& client : clients) {
        client.ReadUntilClose();
        EXPECT_FALSE(client.SendRaw("NOOP\r\n") && client.ReadLine());
    }
}
