// The client side of a connection: authorization states, command framing, unknown commands.
#include "pop3/RelayTestFixture.h"

// The server's refusals do not change the client's state: a refused USER still leads to PASS, and after any PASS the
// session is in the transaction state.
TEST_F(RelayTest, CommandsBeforeLoginAreAnsweredAsUnknownAndStateStays)
{
    StartWithAnswers({{"USER alice", "-ERR no such user\r\n"}, {"pass x", "-ERR denied\r\n"}, {"STAT", "+OK 0 0\r\n"}});
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
        {"USER alice", "-ERR no such user\r\n"},
        {"STAT", "-ERR Unknown command: STAT\r\n"},  // now expecting PASS
        {"USER again", "-ERR Unknown command: USER\r\n"},
        {"pass x", "-ERR denied\r\n"},
        {"STAT", "+OK 0 0\r\n"},
        {"USER again", "-ERR Unknown command: USER\r\n"},  // USER and PASS go to the agent, which does not relay them
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(client.Command(c.line), c.answer);
    }
    EXPECT_EQ(upstream->Received(), (std::vector<std::string>{"USER alice", "pass x", "STAT"}));
}

TEST_F(RelayTest, QuitInAnyCaseEndsTheSessionInEveryState)
{
    StartWithAnswers({});
    for (const char* login : {"", "USER a\r\n", "USER a\r\nPASS b\r\n"}) {
        SCOPED_TRACE(login);
        Pop3TestClient client(relay->Port());
        ASSERT_TRUE(client.SendRaw(std::string(login) + "qUiT\r\n"));
        EXPECT_TRUE(client.ReadUntilClose().ends_with("+OK bye\r\n"));
        EXPECT_TRUE(client.PeerClosed());
    }
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
