// "Relay Authentication" on: a mail server that offers only SASL XOAUTH2, as the big providers do. The client's
// CAPA, AUTH exchanges and retries reach it through the relay, and the translated-mail session that follows answers
// the same client's CAPA and AUTH so that it fetches its translated copy.
#include <string>
#include <vector>

#include "pop3/RelayTestFixture.h"

namespace {

const std::string kGoodToken = "dXNlcj1hbGljZQFhdXRoPUJlYXJlciBnb29kAQE=";
const std::string kBadToken = "dXNlcj1hbGljZQFhdXRoPUJlYXJlciBiYWQBAQ==";
// The error challenge of a refused token (RFC 7628 style JSON), which the client answers with an empty line.
const std::string kErrorChallenge = "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiQmVhcmVyIn0=\r\n";
const std::string kMail =
    "+OK\r\nSubject: Weather report\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
    "The weather is warm and the water is cold today.\r\nWe will read a book about cats together.\r\n.\r\n";
const std::string kKeptCapabilities =
    "CAPA\r\nSASL XOAUTH2\r\nTOP\r\nUIDL\r\nRESP-CODES\r\nIMPLEMENTATION mx 1\r\n.\r\n";

struct Step {
    std::string line;
    std::string answer;
    bool multiLine = false;
};

void RunSteps(Pop3TestClient& client, const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        EXPECT_EQ(step.multiLine ? client.MultiLineCommand(step.line) : client.Command(step.line), step.answer)
            << step.line;
    }
}

}  // namespace

TEST_F(RelayTest, XOAuth2OnlyServerLoginsAndRetriesPassThroughThenTheTranslatedSessionAnswersTheSameClient)
{
    WriteProxyServerDword("Relay Authentication", 1);
    StartWithAnswers({
        {"CAPA", "+OK\r\nCAPA\r\nSASL XOAUTH2\r\nSTLS\r\nPIPELINING\r\nTOP\r\nUTF8\r\nUIDL\r\nRESP-CODES\r\n"
                 "IMPLEMENTATION mx 1\r\nX-UNKNOWN\r\n.\r\n"},
        {"AUTH", "+OK\r\nXOAUTH2\r\n.\r\n"},
        {"USER alice", "-ERR [AUTH] USER is not offered\r\n"},
        {"PASS wrong", "-ERR [AUTH] Authentication failed\r\n"},
        {"AUTH XOAUTH2 " + kBadToken, kErrorChallenge},
        {"", "-ERR [AUTH] Invalid credentials\r\n"},
        {"AUTH XOAUTH2", "+ \r\n"},
        {"*", "-ERR cancelled\r\n"},
        {"AUTH XOAUTH2 " + kGoodToken, "+OK Logged in\r\n"},
        {"STAT", "+OK 1 160\r\n"},
        {"RETR 1", kMail},
    }, true);

    testing::internal::CaptureStderr();  // the server's log: the tokens must never reach it
    Pop3TestClient client(relay->Port());
    ASSERT_EQ(client.ReadLine(), "+OK scripted ready\r\n");
    RunSteps(client, {
        {"CAPA", "+OK\r\n" + kKeptCapabilities, true},
        {"AUTH", "+OK\r\nXOAUTH2\r\n.\r\n", true},
        {"USER alice", "-ERR [AUTH] USER is not offered\r\n"},
        {"PASS secret", "-ERR Unknown command: PASS\r\n"},  // a refused USER leaves the client expecting USER
        {"USER bob", "+OK\r\n"},
        {"PASS wrong", "-ERR [AUTH] Authentication failed\r\n"},
        {"PASS wrong", "-ERR Unknown command: PASS\r\n"},  // so does a refused PASS
        {"AUTH XOAUTH2 " + kBadToken, kErrorChallenge},
        {"", "-ERR [AUTH] Invalid credentials\r\n"},
        {"STAT", "-ERR Unknown command: STAT\r\n"},  // still not logged in
        {"AUTH XOAUTH2", "+ \r\n"},
        {"*", "-ERR cancelled\r\n"},
        {"AUTH XOAUTH2 " + kGoodToken, "+OK Logged in\r\n"},
        {"STAT", "+OK 1 160\r\n"},
        {"RETR 1", kMail, true},
    });
    EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    // The lines of the exchanges reached the server unchanged, the empty answer to the error challenge included.
    EXPECT_EQ(upstream->Received(), (std::vector<std::string>{"CAPA", "AUTH", "USER alice", "USER bob", "PASS wrong",
                                                              "AUTH XOAUTH2 " + kBadToken, "", "AUTH XOAUTH2", "*",
                                                              "AUTH XOAUTH2 " + kGoodToken, "STAT", "RETR 1", "QUIT"}));

    ASSERT_TRUE(relay->WaitForTranslatedMails());
    Pop3TestClient again(relay->Port());
    ASSERT_EQ(again.ReadLine(), "+OK Welcome to the NV POP3 Proxy Server\r\n");
    RunSteps(again, {
        {"CAPA", "+OK Capability list follows\r\n" + kKeptCapabilities, true},
        {"AUTH", "+OK\r\nXOAUTH2\r\n.\r\n", true},
        {"AUTH XOAUTH2", "+ \r\n"},
        {"*", "-ERR authentication cancelled\r\n"},
        {"STAT", "-ERR Unknown command: STAT\r\n"},
        {"AUTH XOAUTH2", "+ \r\n"},
        {kGoodToken, "+OK\r\n"},
        {"AUTH XOAUTH2 " + kGoodToken, "-ERR Unknown command: AUTH\r\n"},  // logged in already
    });
    EXPECT_NE(again.MultiLineCommand("RETR 1").value_or("").find("Subject: TR: Weather report\r\n"),
              std::string::npos);
    const std::string logged = testing::internal::GetCapturedStderr();
    for (const std::string& secret : {kGoodToken, kBadToken}) {
        EXPECT_EQ(logged.find(secret), std::string::npos) << logged;
    }
}
