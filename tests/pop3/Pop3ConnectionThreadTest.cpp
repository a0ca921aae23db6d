// The client side of a connection: authorization states, command framing, unknown commands.
#include <chrono>
#include <thread>

#include "pop3/RelayTestFixture.h"

TEST_F(RelayTest, CommandsBeforeLoginAreAnsweredAsUnknownAndStateStays)
{
    StartWithAnswers({{"STAT", "+OK 0 0\r\n"}});
    Pop3TestClient client(relay->Port());
    ASSERT_EQ(client.ReadLine(), "+OK scripted ready\r\n");
    const struct {
        const char* line;
        const char* answer;
    } cases[] = {
        {"STAT", "-ERR Unknown command: STAT\r\n"},
        {"PASS secret", "-ERR Unknown command: PASS\r\n"},
        {"", "-ERR Unknown command: \r\n"},
        {"CAPA", "-ERR Unknown command: CAPA\r\n"},
        {"USER alice", "+OK\r\n"},
        {"STAT", "-ERR Unknown command: STAT\r\n"},  // now expecting PASS
        {"USER again", "-ERR Unknown command: USER\r\n"},
        {"pass secret", "+OK\r\n"},
        {"STAT", "+OK 0 0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(client.Command(c.line), c.answer);
    }
    // Only the relayed lines reached the upstream server.
    EXPECT_EQ(upstream->Received(), (std::vector<std::string>{"USER alice", "pass secret", "STAT"}));
}

TEST_F(RelayTest, UserRefusedByServerStillLeadsToPass)
{
    StartWithAnswers({{"USER nobody", "-ERR no such user\r\n"}, {"PASS x", "-ERR denied\r\n"}});
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.ReadLine());
    EXPECT_EQ(client.Command("USER nobody"), "-ERR no such user\r\n");
    EXPECT_EQ(client.Command("PASS x"), "-ERR denied\r\n");
    // In the transaction state USER and PASS go to the agent, which does not relay them.
    EXPECT_EQ(client.Command("USER again"), "-ERR Unknown command: USER\r\n");
}

TEST_F(RelayTest, QuitInAnyCaseEndsTheSessionInEveryState)
{
    StartWithAnswers({});
    for (int loggedInSteps = 0; loggedInSteps <= 2; ++loggedInSteps) {
        SCOPED_TRACE(loggedInSteps);
        Pop3TestClient client(relay->Port());
        ASSERT_TRUE(client.ReadLine());
        if (loggedInSteps >= 1) {
            ASSERT_TRUE(client.Command("USER a"));
        }
        if (loggedInSteps >= 2) {
            ASSERT_TRUE(client.Command("PASS b"));
        }
        EXPECT_EQ(client.Command("qUiT"), "+OK bye\r\n");
        EXPECT_TRUE(client.WaitForClose());
    }
}

TEST_F(RelayTest, CommandsSplitAcrossSegmentsOrSharingOneAreAnsweredInOrder)
{
    StartWithAnswers({{"NOOP", "+OK noop\r\n"}, {"STAT", "+OK 2 20\r\n"}});
    Pop3TestClient client = LoggedInClient();
    // The pause only makes separate arrival likely; the answers are the same however the pieces arrive.
    for (std::string_view piece : {"N", "O", "O", "P", "\r", "\n", "ST", "AT\r", "\n"}) {
        ASSERT_TRUE(client.SendRaw(piece));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(client.ReadLine(), "+OK noop\r\n");
    EXPECT_EQ(client.ReadLine(), "+OK 2 20\r\n");
    ASSERT_TRUE(client.SendRaw("NOOP\r\nSTAT\r\n"));
    EXPECT_EQ(client.ReadLine(), "+OK noop\r\n");
    EXPECT_EQ(client.ReadLine(), "+OK 2 20\r\n");
    EXPECT_EQ(upstream->Received().back(), "STAT");
}

TEST_F(RelayTest, BareCarriageReturnAndLineFeedStayInsideTheCommand)
{
    StartWithAnswers({});
    Pop3TestClient client = LoggedInClient();
    // Neither a lone CR nor a lone LF ends a command line; the word runs to the first blank.
    EXPECT_EQ(client.Command("NO\rOP x"), "-ERR Unknown command: NO\rOP\r\n");
    EXPECT_EQ(client.Command("NO\nOP"), "-ERR Unknown command: NO\nOP\r\n");
}

TEST_F(RelayTest, LineEndsHiddenBehindNulsDoNotStallAHalfClosedClient)
{
    // Text is taken up to a NUL, so "X\0\r\n" ends no line. The connection thread must still take everything
    // the socket holds before it waits, or the half-close behind those pieces is never noticed.
    StartWithAnswers({});
    std::string pieces;
    for (int i = 0; i < 50; ++i) {
        pieces.append("X\0\r\n", 4);
    }
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Pop3TestClient client(relay->Port());
        ASSERT_TRUE(client.ReadLine());
        ASSERT_TRUE(client.SendRaw(pieces));
        client.ShutdownSending();
        EXPECT_TRUE(client.WaitForClose());
    }
    EXPECT_TRUE(relay->CollectAll());
}
