// The whole road as a user runs it: the server in start-up mode in front of a private Dovecot, curl and a
// test client as mail clients, vuvedctl for status and stop; SIGTERM in the middle of a retrieval and a
// translation, a client leaving in the middle; and the notification icon in a virtual X session.
#include <signal.h>

#include "app/ServerProcessFixture.h"
#include "integration/DovecotServer.h"

namespace {

class EndToEnd : public ServerProcessTest {
protected:
    std::unique_ptr<ChildProcess> StartInFrontOfDovecot() {
        EXPECT_TRUE(dovecot.IsRunning()) << dovecot.Error();
        UseMailServer(dovecot.Port());
        auto server = StartServer({"-Startup"});
        EXPECT_TRUE(WaitUntilListening()) << server->Output();
        return server;
    }

    // curl's list of the mails at port.
    ProcessResult List(unsigned port) {
        return RunProgram(
            {"/usr/bin/curl", "--silent", "--show-error", "--max-time", "60", "--user",
             dovecot.User() + ":" + dovecot.Password(), "pop3://127.0.0.1:" + std::to_string(port)},
            std::chrono::seconds(90));
    }

    DovecotServer dovecot;
};

// RETR of the mails from first to last in turn; the answers that arrived whole (a connection that ends stops
// the loop).
std::vector<std::string> Retrieve(Pop3TestClient& client, int first, int last) {
    std::vector<std::string> answers;
    for (int number = first; number <= last; ++number) {
        std::optional<std::string> answer = client.MultiLineCommand("RETR " + std::to_string(number));
        if (!answer) {
            break;
        }
        answers.push_back(std::move(*answer));
    }
    return answers;
}

TEST_F(EndToEnd, SigtermWhileRetrievingAndTranslatingLeavesEveryReceivedMailUnchanged) {
    std::vector<std::string> direct;
    {
        Pop3TestClient client(dovecot.Port());
        ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        direct = Retrieve(client, 1, dovecot.MailCount());
        ASSERT_EQ(direct.size(), static_cast<std::size_t>(dovecot.MailCount()));
    }

    auto server = StartInFrontOfDovecot();
    Pop3TestClient client(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
    // The stop comes after the first English mails were captured, so their translation is under way.
    std::vector<std::string> received = Retrieve(client, 1, 3);
    server->Signal(SIGTERM);
    const std::vector<std::string> rest = Retrieve(client, 4, dovecot.MailCount());
    received.insert(received.end(), rest.begin(), rest.end());
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received, std::vector<std::string>(direct.begin(), direct.begin() + received.size()));
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

// curl's list is relayed unchanged. A client that leaves without QUIT in the middle of a retrieval leaves the
// translations finished by then for the next connection; vuvedctl then stops the server.
TEST_F(EndToEnd, ClientLeavingMidRetrievalKeepsTheFinishedTranslationsForTheNextConnection) {
    auto server = StartInFrontOfDovecot();
    const ProcessResult list = List(listenPort);
    ASSERT_EQ(list.exitCode, 0) << list.errors;
    EXPECT_EQ(list.output, List(dovecot.Port()).output);
    {
        Pop3TestClient client(static_cast<std::uint16_t>(listenPort));
        ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        ASSERT_EQ(Retrieve(client, 1, 3).size(), 3u);
        ASSERT_TRUE(client.SendLine("RETR " + std::to_string(dovecot.MailCount())));
        ASSERT_TRUE(client.ReadLine());
    }
    ASSERT_TRUE(WaitForStatus("HaveTranslateMail: 1", std::chrono::seconds(60)));
    Pop3TestClient next(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(next.Login(dovecot.User(), dovecot.Password()));
    const int count = std::atoi(next.Command("STAT").value_or("+OK 0").c_str() + 4);
    ASSERT_GE(count, 1);
    std::string translated;
    for (const std::string& mail : Retrieve(next, 1, count)) {
        EXPECT_NE(mail.find("\r\nSubject: TR: "), std::string::npos) << mail.substr(0, 400);
        translated += mail;
    }
    EXPECT_NE(translated.find("charset=iso-2022-jp"), std::string::npos) << translated;
    EXPECT_NE(translated.find("This is a short English mail."), std::string::npos) << translated;

    // A stop waits for the batch in hand (slow under the sanitizers), which is not what this test is about.
    EXPECT_TRUE(WaitForStatus("IsTranslating: 0", std::chrono::seconds(120)));
    const ProcessResult stop = Control({"stop"});
    EXPECT_EQ(stop.exitCode, 0) << stop.errors;
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
    EXPECT_EQ(Control({"status"}).exitCode, 4);
}

// In a virtual X session with a system tray the icon shows up in the tray (skipped where Xvfb, trayer or yad
// are not installed).
TEST(NotificationIcon, AppearsInTheTrayOfAVirtualXSession) {
    const ProcessResult result = RunProgram({std::string(VUVED_SOURCE_DIR) + "/tests/app/tray_screenshot.sh",
                                             ServerExecutable(), ControlExecutable()},
                                            std::chrono::seconds(120), {"VUVED_NO_GUI="});
    if (result.exitCode == 77) {
        GTEST_SKIP() << result.errors;
    }
    EXPECT_EQ(result.exitCode, 0) << result.output << result.errors;
}

}  // namespace
