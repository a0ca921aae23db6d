// The whole road as a user runs it: the server in start-up mode in front of a private Dovecot, curl as the mail
// client, vuvedctl for status and stop; and the notification icon in a virtual X session.
#include <cctype>

#include "app/ServerProcessFixture.h"
#include "integration/DovecotServer.h"

namespace {

class EndToEnd : public ServerProcessTest {
protected:
    ProcessResult Fetch(const DovecotServer& dovecot, int number) {
        return RunProgram({"/usr/bin/curl", "--silent", "--show-error", "--max-time", "60", "--user",
                           dovecot.User() + ":" + dovecot.Password(),
                           "pop3://127.0.0.1:" + std::to_string(listenPort) + "/" + std::to_string(number)},
                          std::chrono::seconds(90));
    }
};

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST_F(EndToEnd, StartupFetchStatusFetchStop) {
    DovecotServer dovecot;
    ASSERT_TRUE(dovecot.IsRunning()) << dovecot.Error();
    UseMailServer(dovecot.Port());

    auto server = StartServer({"-Startup"});
    ASSERT_TRUE(WaitUntilListening()) << server->Output();

    const ProcessResult relayed = Fetch(dovecot, 1);
    ASSERT_EQ(relayed.exitCode, 0) << relayed.errors;
    EXPECT_NE(relayed.output.find("This is a short English mail."), std::string::npos) << relayed.output;

    // The translated copy is ready when the server says so.
    ASSERT_TRUE(WaitForStatus("HaveTranslateMail: 1", std::chrono::seconds(60)));
    const ProcessResult status = Control({"status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_NE(status.output.find("Running: 1"), std::string::npos) << status.output;

    const ProcessResult translated = Fetch(dovecot, 1);
    ASSERT_EQ(translated.exitCode, 0) << translated.errors;
    EXPECT_NE(Lower(translated.output).find("iso-2022-jp"), std::string::npos) << translated.output;
    EXPECT_NE(translated.output.find("Subject: TR: "), std::string::npos) << translated.output;
    EXPECT_NE(translated.output.find("This is a short English mail."), std::string::npos) << translated.output;
    EXPECT_NE(translated.output, relayed.output);

    const ProcessResult stop = Control({"stop"});
    EXPECT_EQ(stop.exitCode, 0) << stop.errors;
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
    EXPECT_EQ(Control({"status"}).exitCode, 4);
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
