// The relay of transaction commands: which commands are relayed, how many lines each answer has, and that a mail cut
// short is not captured for translation.
#include <map>

#include "pop3/Pop3Command.h"
#include "pop3/RelayTestFixture.h"

// How many lines an answer has is decided by the command's word and arguments, as the client sent them (the usual
// cases are compared with Dovecot by DovecotRelayTest.EveryAnswerIsTheSameAsDirect). Commands the relay does not know
// stay local: neither a lone CR nor a lone LF ends a command line, and the word runs to the first blank.
TEST_F(RelayTest, CommandsOfEveryCaseKeepTheirNumberOfLinesAndUnknownOnesStayLocal)
{
    const struct {
        const char* line;
        bool multiLine;
        std::string answer;
    } cases[] = {
        {"list", true, "+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n"},
        {"LIST ", false, "+OK one line for a trailing blank\r\n"},
        {"TOP 9 1", true, "-ERR no such message\r\n"},
        {"dele 1", false, "+OK deleted\r\n"},
    };
    std::map<std::string, std::string> answers;
    for (const auto& c : cases) {
        answers[c.line] = c.answer;
    }
    StartWithAnswers(answers);
    Pop3TestClient client = LoggedInClient();
    for (const auto& c : cases) {
        EXPECT_EQ(c.multiLine ? client.MultiLineCommand(c.line) : client.Command(c.line), c.answer) << c.line;
    }
    for (const char* line : {"CAPA", "APOP alice 0123", "STLS", "XTND XMIT", "LAST", "NO\rOP x", "NO\nOP"}) {
        EXPECT_EQ(client.Command(line), "-ERR Unknown command: " + pop3::CommandWord(line) + "\r\n") << line;
    }
    EXPECT_EQ(upstream->Received(),
              (std::vector<std::string>{"USER alice", "PASS secret", "list", "LIST ", "TOP 9 1", "dele 1"}));
}

TEST_F(RelayTest, ServerClosingInTheMiddleOfAMailDropsTheCaptureAndTheClient)
{
    StartWithScript([](Pop3TestClient& peer, ScriptedPop3Server&) {
        for (const char* answer : {"+OK hello\r\n", "+OK\r\n", "+OK\r\n"}) {  // the greeting, USER and PASS
            peer.SendRaw(answer);
            peer.ReadLine();
        }
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
