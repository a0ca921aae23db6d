// The whole road as a user runs it: the server in start-up mode in front of a private Dovecot, curl and fetchmail as
// the mail clients getting through the relay exactly what they get directly, vuvedctl for status and stop; a stop
// (SIGTERM) in the middle of a retrieval and a translation, a client leaving in the middle; and the notification
// icon in a virtual X session.
#include <signal.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/ServerProcessFixture.h"
#include "integration/DovecotServer.h"

namespace {

class EndToEnd : public ServerProcessTest {
protected:
    // The server in start-up mode in front of the test's Dovecot.
    std::unique_ptr<ChildProcess> StartInFrontOfDovecot() {
        EXPECT_TRUE(dovecot.IsRunning()) << dovecot.Error();
        UseMailServer(dovecot.Port());
        auto server = StartServer({"-Startup"});
        EXPECT_TRUE(WaitUntilListening()) << server->Output();
        return server;
    }

    // curl's answer for path ("" lists the mails, a number retrieves one), through the relay or directly.
    ProcessResult Fetch(const std::string& path, bool direct = false) {
        return RunProgram({"/usr/bin/curl", "--silent", "--show-error", "--max-time", "60", "--user",
                           dovecot.User() + ":" + dovecot.Password(),
                           "pop3://127.0.0.1:" + std::to_string(direct ? dovecot.Port() : listenPort) + "/" + path},
                          std::chrono::seconds(90));
    }

    // Every mail fetchmail delivers from the server at port, in one text (it keeps them on the server).
    std::string FetchmailDelivers(unsigned port) {
        const std::string folder = state.Folder() + "/fetchmail-" + std::to_string(port);
        std::filesystem::create_directories(folder);
        const std::string rc = folder + "/fetchmailrc";
        std::ofstream(rc) << "poll 127.0.0.1 protocol pop3 service " << port << " user \"" << dovecot.User()
                          << "\" password \"" << dovecot.Password() << "\" options keep fetchall no stripcr\n";
        std::filesystem::permissions(rc, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        const ProcessResult result = RunProgram(
            {"/usr/bin/fetchmail", "-f", rc, "--pidfile", folder + "/fetchmail.pid", "--nodetach", "--nosyslog",
             "--invisible", "--norewrite", "--sslproto", "", "--mda", "cat >> " + folder + "/delivered"},
            std::chrono::seconds(120), {"FETCHMAILHOME=" + folder, "HOME=" + folder});
        EXPECT_EQ(result.exitCode, 0) << result.output << result.errors;
        std::stringstream delivered;
        delivered << std::ifstream(folder + "/delivered", std::ios::binary).rdbuf();
        return delivered.str();
    }

    DovecotServer dovecot;
};

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST_F(EndToEnd, StartupFetchStatusFetchStop) {
    auto server = StartInFrontOfDovecot();

    // The list, and the first fetch, are relayed unchanged (the second fetch may already get translated copies;
    // fetchmail takes every mail in one session below).
    for (const std::string path : {"", "1"}) {
        SCOPED_TRACE("curl path /" + path);
        const ProcessResult relayed = Fetch(path);
        ASSERT_EQ(relayed.exitCode, 0) << relayed.errors;
        EXPECT_EQ(relayed.output, Fetch(path, true).output);
    }
    // The translated copy is ready when the server says so.
    ASSERT_TRUE(WaitForStatus("HaveTranslateMail: 1", std::chrono::seconds(60)));
    const ProcessResult translated = Fetch("1");
    ASSERT_EQ(translated.exitCode, 0) << translated.errors;
    EXPECT_NE(Lower(translated.output).find("iso-2022-jp"), std::string::npos) << translated.output;
    EXPECT_NE(translated.output.find("Subject: TR: "), std::string::npos) << translated.output;
    EXPECT_NE(translated.output.find("This is a short English mail."), std::string::npos) << translated.output;

    const ProcessResult stop = Control({"stop"});
    EXPECT_EQ(stop.exitCode, 0) << stop.errors;
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
    EXPECT_EQ(Control({"status"}).exitCode, 4);
}

TEST_F(EndToEnd, FetchmailDeliversTheSameMailsAsDirectly) {
    auto server = StartInFrontOfDovecot();
    const std::string direct = FetchmailDelivers(dovecot.Port());
    EXPECT_NE(direct.find("This is a short English mail."), std::string::npos);
    EXPECT_EQ(FetchmailDelivers(listenPort), direct);
}

TEST_F(EndToEnd, SigtermWhileRetrievingAndTranslatingLeavesEveryReceivedMailUnchanged) {
    std::vector<std::string> direct;
    {
        Pop3TestClient client(dovecot.Port());
        ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        direct = RetrieveAll(client, dovecot.MailCount());
        ASSERT_EQ(direct.size(), static_cast<std::size_t>(dovecot.MailCount()));
    }

    auto server = StartInFrontOfDovecot();
    Pop3TestClient client(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
    // The stop comes after the first English mails were captured, so their translation is under way.
    const std::vector<std::string> received = RetrieveAll(client, dovecot.MailCount(), [&](int number) {
        if (number == 3) {
            server->Signal(SIGTERM);
        }
    });
    ASSERT_GE(received.size(), 3u);
    for (std::size_t i = 0; i < received.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(received[i], direct[i]);
    }
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

TEST_F(EndToEnd, ClientLeavingMidRetrievalKeepsTheFinishedTranslationsForTheNextConnection) {
    auto server = StartInFrontOfDovecot();
    {
        Pop3TestClient client(static_cast<std::uint16_t>(listenPort));
        ASSERT_TRUE(client.Login(dovecot.User(), dovecot.Password()));
        ASSERT_EQ(RetrieveAll(client, 3).size(), 3u);
        // Leaves without QUIT in the middle of the next answer.
        ASSERT_TRUE(client.SendLine("RETR " + std::to_string(dovecot.MailCount())));
        ASSERT_TRUE(client.ReadLine());
    }
    ASSERT_TRUE(WaitForStatus("HaveTranslateMail: 1", std::chrono::seconds(60)));
    Pop3TestClient next(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(next.Login(dovecot.User(), dovecot.Password()));
    const std::optional<std::string> stat = next.Command("STAT");
    ASSERT_TRUE(stat);
    const int count = std::atoi(stat->c_str() + 4);
    ASSERT_GE(count, 1) << *stat;
    for (const std::string& mail : RetrieveAll(next, count)) {
        EXPECT_NE(mail.find("\r\nSubject: TR: "), std::string::npos) << mail.substr(0, 400);
    }
    // A stop waits for the batch in hand (slow under the sanitizers), which is not what this test is about.
    EXPECT_TRUE(WaitForStatus("IsTranslating: 0", std::chrono::seconds(120)));
    server->Signal(SIGTERM);
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

// In a virtual X session with a system tray the icon shows up in the tray (skipped where Xvfb, trayer or yad
// are not installed).
TEST(NotificationIcon, AppearsInTheTrayOfAVirtualXSession) {
    char out[] = "/tmp/vuved-tray-XXXXXX.png";
    close(mkstemps(out, 4));
    const ProcessResult result = RunProgram({std::string(VUVED_SOURCE_DIR) + "/tests/app/tray_screenshot.sh",
                                             ServerExecutable(), ControlExecutable(), out},
                                            std::chrono::seconds(120), {"VUVED_NO_GUI="});
    unlink(out);
    if (result.exitCode == 77) {
        GTEST_SKIP() << result.errors;
    }
    EXPECT_EQ(result.exitCode, 0) << result.output << result.errors;
}

}  // namespace
