// The translate thread: the selection with its settings read per mail, the batch on its own thread, and the
// choice of agent per connection.
#include "translate/Pop3TranslateThread.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TranslationSettings.h"
#include "integration/RelaySettings.h"
#include "mail/Base64Codec.h"
#include "mail/MailTestSupport.h"
#include "platform/CodePage.h"
#include "pop3/CapturedMail.h"
#include "pop3/RelayTestFixture.h"
#include "pop3/TranslateAgent.h"
#include "support/Eventually.h"
#include "support/TestComponents.h"

using namespace testing_components;

namespace {

// What a translated-mail agent answers to command, in one text (its greeting, at first, is passed over).
std::string Command(TranslateAgent& agent, const std::string& command) {
    std::string line, answer;
    agent.GetResponse(line);
    EXPECT_TRUE(agent.SendCommand(command)) << command;
    while (agent.GetResponse(line)) {
        answer += line + "\n";
    }
    return answer;
}

class Pop3TranslateThreadTest : public ::testing::Test {
protected:
    void TearDown() override { thread.StopAndWait(); }

    ScopedRegistry registry;
    ScopedTestComponents components{{}};
    Pop3TranslateThread thread;
};

// Settings are read anew for every mail: each row stores its own before asking. The first question writes
// each absent setting back with its default.
TEST_F(Pop3TranslateThreadTest, Selection) {
    thread.IsTranslateMail(mailtest::Mail({"Content-Type: text/plain"}).get());
    for (const char* name : {"AutoRecognize", "AllMail", "Mail Limit Size", "English Rate"}) {
        EXPECT_TRUE(raw::Get(raw::kRuleKey, name).has_value()) << name;
    }
    const std::string japanese = win32::Utf8ToAnsi("これは日本語のメールです");
    // One line of two double-byte characters and two letters: (8 - 4) * 100 / 8 = 50 percent English.
    const std::string half = win32::Utf8ToAnsi("日本") + "ab";
    const std::string ascii = "text/plain; charset=us-ascii", jis = "text/plain; charset=ISO-2022-JP";
    const struct { const char* name; win32::DWORD autoRecognize, allMail, rate; std::string contentType;
                   std::vector<std::string> body; bool expected; std::string subject = "Status report"; } cases[] = {
        {"multipart is never translated", 1, 1, 50, "multipart/mixed; boundary=x", {"Hello"}, false},
        {"unknown content type is never translated", 1, 1, 50, "text/html", {"Hello"}, false},
        {"all mail", 0, 1, 50, jis, {japanese}, true},
        {"ascii charset counts as English", 1, 0, 50, ascii, {japanese}, true},
        {"latin-1 charset counts as English", 1, 0, 50, "text/plain; charset=iso-8859-1", {japanese}, true},
        {"Japanese body is not English", 1, 0, 50, jis, {japanese}, false},
        {"rate equal to English Rate is English", 1, 0, 50, jis, {half}, true},
        {"rate below English Rate", 1, 0, 51, jis, {half}, false},
        {"recognition off, no rule matches", 0, 0, 50, ascii, {"Hello"}, false},
        {"recognition off, a rule matches", 0, 0, 50, ascii, {"Hello"}, true, "URGENT: reply"},
        {"mail without body text", 1, 0, 50, jis, {}, false},
    };
    WriteRegistryString(raw::kRuleKey, "Mailer Rule",
                        "Rule\n{\n1\nUrgent\n0\n0\n1\nWordContainSubjectRule\n{\nWordRule\n{\nMailRule\n{\n0\n}\n6\n"
                        "urgent\n1\n0\n0\n}\n}\n}\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        raw::SetDword(raw::kRuleKey, "AutoRecognize", c.autoRecognize);
        raw::SetDword(raw::kRuleKey, "AllMail", c.allMail);
        raw::SetDword(raw::kRuleKey, "English Rate", c.rate);
        const auto mail = mailtest::Mail({"Subject: " + c.subject, "Content-Type: " + c.contentType}, c.body);
        EXPECT_EQ(thread.IsTranslateMail(mail.get()), c.expected);
    }
}

// A captured mail is ruled out by type and size at the boundary of a built mail, an encoded body measured
// decoded; a mail that waits while no engine can be made is translated first once one can.
TEST_F(Pop3TranslateThreadTest, CapturedMailsMeetTheSizeLimitAndWaitForAnEngine) {
    raw::SetDword(raw::kRuleKey, "AllMail", 1);
    raw::SetDword(raw::kRuleKey, "Mail Limit Size", 1);
    const auto capture = [](const std::string& subject, const std::string& fields, const std::string& body) {
        CapturedMail captured;
        captured.Append("Subject: " + subject + "\r\n" + fields + "\r\n\r\n" + body + "\r\n..stuffed\r\n.\r\n");
        return captured;
    };
    const std::string plain = "Content-Type: text/plain; charset=us-ascii";
    const std::uint32_t overhead = capture("exact", plain, "").BuildEmail()->size;
    CapturedMail exact = capture("exact", plain, std::string(1024 - overhead, 'a'));
    CapturedMail over = capture("over!", plain, std::string(1025 - overhead, 'a'));
    ASSERT_EQ(std::pair(exact.BuildEmail()->size, over.BuildEmail()->size), std::pair(1024u, 1025u));
    std::string encoded;
    Base64Codec().Encode(std::string(700, 'a'), encoded);
    CapturedMail base64 = capture("encoded", plain + "\r\nContent-Transfer-Encoding: base64", encoded);
    ASSERT_GT(base64.BuildEmail()->size, 1024u);

    components.behaviour().createEngine = win32::REGDB_E_CLASSNOTREG;
    thread.AddCapturedMail(std::move(exact));
    ASSERT_TRUE(Eventually([&] { return components.counters().engineCreateAttempts >= 1; }));
    ASSERT_TRUE(Eventually([&] { return components.counters().liveObjects == 0; }));
    components.behaviour().createEngine = win32::S_OK;
    // An engine answering in Japanese: the translated copy still reaches the client as 7-bit ISO-2022-JP.
    components.behaviour().translate = [](const std::u16string& source, std::u16string& out) {
        out = u"日本語の訳:" + source;
        return win32::S_OK;
    };
    thread.AddCapturedMail(std::move(over));
    thread.AddCapturedMail(capture("multipart", "Content-Type: multipart/mixed; boundary=b", "--b\r\nHi\r\n--b--"));
    thread.AddCapturedMail(std::move(base64));
    ASSERT_TRUE(Eventually([&] { return !thread.IsTranslating(); }));

    std::unique_ptr<Pop3Agent> agent = thread.GetPop3Agent();
    auto* translated = dynamic_cast<TranslateAgent*>(agent.get());
    ASSERT_NE(translated, nullptr);
    EXPECT_EQ(Command(*translated, "STAT").substr(0, 6), "+OK 2 ");
    const std::string first = Command(*translated, "RETR 1");
    EXPECT_NE(first.find("\nSubject: TR: exact\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\x1b$B"), std::string::npos) << first;
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](char c) { return (c & 0x80) == 0; })) << first;
    EXPECT_NE(Command(*translated, "RETR 2").find("\nSubject: TR: encoded\n"), std::string::npos);
    EXPECT_FALSE(thread.HaveTranslateMail()) << "every translated copy goes to the one connection that asked first";
    agent->StopAndWait();
}

// "Modern Mail" is read for every mail: the same multipart mail gets no copy with 0 and a copy with 1. Every
// batch makes and releases its own engine.
TEST_F(Pop3TranslateThreadTest, ModernMailSwitchesThePathForTheNextMailAndEveryBatchHasItsEngine) {
    const std::vector<std::string> body = {"--b", "Content-Type: text/plain; charset=utf-8", "", "Caf\xC3\xA9 at noon?",
                                           "--b--"};
    for (int modern = 0; modern <= 1; ++modern) {
        SCOPED_TRACE(modern);
        raw::SetDword(raw::kRuleKey, "Modern Mail", modern);
        thread.AddTranslateMail(mailtest::Mail({"Content-Type: multipart/alternative; boundary=b"}, body));
        ASSERT_TRUE(Eventually([&] { return !thread.IsTranslating() && components.counters().liveObjects == 0; }));
        EXPECT_EQ(thread.HaveTranslateMail(), modern == 1);
        EXPECT_EQ(components.counters().enginesCreated, modern + 1);
    }
}

// The relay captures a RETR answer as the mail alone: no status line, the dot-stuffed lines as they came, up
// to the "." line, which is no line of it. The translated copy served at the next connection shows all three.
TEST_F(RelayTest, CapturesTheMailWithoutItsStatusLineKeepingItsStuffedLines) {
    raw::SetDword(raw::kRuleKey, "AllMail", 1);
    upstream = std::make_unique<ScriptedPop3Server>(Pop3Responder(
        {{"RETR 1", "+OK 98 octets\r\nSubject: dots\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
                    "First line.\r\n..stuffed line\r\nLast line.\r\n.\r\n"}}));
    StartRelayFor("127.0.0.1", upstream->Port(), true);
    ASSERT_TRUE(LoggedInClient().MultiLineCommand("RETR 1"));
    ASSERT_TRUE(relay->WaitForTranslatedMails());
    Pop3TestClient next(relay->Port());
    ASSERT_TRUE(next.Login("anyone", "anything"));
    const std::string served = next.MultiLineCommand("RETR 1").value_or("");
    EXPECT_TRUE(served.starts_with("+OK\r\n")) << served;
    EXPECT_EQ(served.find("octets"), std::string::npos) << served;
    EXPECT_NE(served.find("\r\nSubject: TR: dots\r\n"), std::string::npos) << served;
    EXPECT_NE(served.find("\r\nFirst line.\r\n..stuffed line\r\nLast line.\r\n"), std::string::npos) << served;
    EXPECT_EQ(served.find("\r\n.\r\n"), served.size() - 5) << served;
}

}  // namespace
