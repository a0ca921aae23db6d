// The relay of transaction commands: which commands are relayed, how many lines each answer has, that lines pass
// unchanged, and which answers are captured for translation.
#include <chrono>
#include <thread>

#include "pop3/Pop3Command.h"
#include "pop3/RelayTestFixture.h"

namespace {
const std::string kMail =
    "+OK 120 octets\r\n"
    "From: a@example.org\r\n"
    "Subject: test\r\n"
    "\r\n"
    "..dot-stuffed line\r\n"
    "body with a lone\nLF and a lone\rCR\r\n"
    ".\r\n";
}  // namespace

TEST_F(RelayTest, RelaysEachCommandWithItsNumberOfLines)
{
    const std::string list = "+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n";
    const std::string uidl = "+OK\r\n1 abc\r\n2 def\r\n.\r\n";
    const std::string top = "+OK\r\nFrom: a@example.org\r\n\r\nfirst\r\n.\r\n";
    StartWithAnswers({
        {"STAT", "+OK 2 320\r\n"},
        {"NOOP", "+OK\r\n"},
        {"RSET", "+OK reset\r\n"},
        {"DELE 1", "+OK deleted\r\n"},
        {"LIST", list},
        {"list", list},
        {"LIST 2", "+OK 2 200\r\n"},
        {"LIST ", "+OK one line for a trailing blank\r\n"},
        {"UIDL", uidl},
        {"UIDL 1", "+OK 1 abc\r\n"},
        {"TOP 1 1", top},
        {"TOP 9 1", "-ERR no such message\r\n"},
        {"LIST 9", "-ERR no such message\r\n"},
    });
    Pop3TestClient client = LoggedInClient();
    const struct {
        const char* line;
        bool multiLine;
        std::string answer;
    } cases[] = {
        {"STAT", false, "+OK 2 320\r\n"},
        {"NOOP", false, "+OK\r\n"},
        {"RSET", false, "+OK reset\r\n"},
        {"DELE 1", false, "+OK deleted\r\n"},
        {"LIST", true, list},
        {"list", true, list},
        {"LIST 2", false, "+OK 2 200\r\n"},
        {"LIST ", false, "+OK one line for a trailing blank\r\n"},
        {"UIDL", true, uidl},
        {"UIDL 1", false, "+OK 1 abc\r\n"},
        {"TOP 1 1", true, top},
        {"TOP 9 1", true, "-ERR no such message\r\n"},
        {"LIST 9", false, "-ERR no such message\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.multiLine ? client.MultiLineCommand(c.line) : client.Command(c.line), c.answer);
    }
    EXPECT_EQ(relay->PendingMails(), 0u) << "TOP must not be captured";
}

TEST_F(RelayTest, CommandsTheRelayDoesNotKnowStayLocal)
{
    StartWithAnswers({});
    Pop3TestClient client = LoggedInClient();
    for (const char* line : {"CAPA", "APOP alice 0123", "STLS", "XTND XMIT", "LAST"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(client.Command(line), "-ERR Unknown command: " + pop3::CommandWord(line) + "\r\n");
    }
    for (const std::string& received : upstream->Received()) {
        EXPECT_TRUE(received.starts_with("USER") || received.starts_with("PASS")) << received;
    }
}

TEST_F(RelayTest, RetrievedMailPassesUnchangedAndIsCapturedOnce)
{
    StartWithAnswers({{"RETR 1", kMail}, {"retr 2", "-ERR no such message\r\n"}});
    Pop3TestClient client = LoggedInClient();
    EXPECT_EQ(client.MultiLineCommand("RETR 1"), kMail);
    EXPECT_EQ(client.MultiLineCommand("retr 2"), "-ERR no such message\r\n");
    EXPECT_EQ(relay->WaitForPendingMails(1), 1u);
    // The failed RETR adds nothing, even after the session has ended.
    EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_EQ(relay->PendingMails(), 1u);
}

TEST_F(RelayTest, LineEndSplitBetweenServerSegmentsIsOneLine)
{
    StartWithScript([](Pop3TestClient& peer, ScriptedPop3Server&) {
        peer.SendRaw("+OK split greeting\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // makes a separate segment likely
        peer.SendRaw("\n");
        while (auto line = peer.ReadLine()) {
            if (*line == "STAT\r\n") {
                peer.SendRaw("+OK 1");
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                peer.SendRaw(" 5\r");
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                peer.SendRaw("\n");
            } else {
                peer.SendRaw("+OK\r\n");
            }
        }
    });
    Pop3TestClient client(relay->Port());
    EXPECT_EQ(client.ReadLine(), "+OK split greeting\r\n");
    ASSERT_TRUE(client.Command("USER a"));
    ASSERT_TRUE(client.Command("PASS b"));
    EXPECT_EQ(client.Command("STAT"), "+OK 1 5\r\n");
}

TEST_F(RelayTest, FinalLineBeforeServerCloseIsStillDelivered)
{
    StartWithScript([](Pop3TestClient& peer, ScriptedPop3Server&) {
        peer.SendRaw("+OK hello\r\n");
        peer.ReadLine();
        peer.SendRaw("+OK user\r\n");
        peer.ReadLine();
        peer.SendRaw("+OK pass\r\n");
        peer.ReadLine();
        peer.SendRaw("+OK last words\r\n");
        peer.Close();
    });
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.Login("a", "b"));
    EXPECT_EQ(client.Command("NOOP"), "+OK last words\r\n");
    // The next relayed command finds the server gone: the client is disconnected without an answer.
    ASSERT_TRUE(client.SendLine("NOOP"));
    EXPECT_TRUE(client.WaitForClose());
    EXPECT_TRUE(relay->CollectAll());
}

TEST_F(RelayTest, ServerClosingInTheMiddleOfAMailDropsTheCaptureAndTheClient)
{
    StartWithScript([](Pop3TestClient& peer, ScriptedPop3Server&) {
        peer.SendRaw("+OK hello\r\n");
        peer.ReadLine();
        peer.SendRaw("+OK\r\n");
        peer.ReadLine();
        peer.SendRaw("+OK\r\n");
        peer.ReadLine();
        peer.SendRaw("+OK\r\nSubject: cut\r\n\r\nfirst line\r\nsecond li");
        peer.Close();
    });
    Pop3TestClient client(relay->Port());
    ASSERT_TRUE(client.Login("a", "b"));
    ASSERT_TRUE(client.SendLine("RETR 1"));
    EXPECT_EQ(client.ReadUntilClose(), "+OK\r\nSubject: cut\r\n\r\nfirst line\r\n");
    EXPECT_TRUE(relay->CollectAll());
    EXPECT_EQ(relay->PendingMails(), 0u);
}
