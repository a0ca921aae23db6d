// SIGTERM while a warning box is open or a client's stop waits for a translation: the process ends cleanly,
// after the stop, never with threads still using what it has freed.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "app/ServerProcessFixture.h"
#include "integration/DovecotServer.h"
#include "platform/ComServerModule.h"

namespace {

using ProcessEnd = ServerProcessTest;

// A program the server runs (warning box, translation command) that says it has started and then waits for
// the lock on folder/held, which the test holds until it releases the program.
struct HeldProgram {
    explicit HeldProgram(const std::string& folder) : folder(folder) { EXPECT_EQ(flock(lock, LOCK_EX), 0); }
    ~HeldProgram() { close(lock); }
    std::string Command() const { return "touch " + folder + "/started; flock " + folder + "/held true"; }
    bool WaitUntilStarted() const {
        return Eventually([this] { return access((folder + "/started").c_str(), F_OK) == 0; },
                          std::chrono::seconds(60));
    }
    void Release() { close(std::exchange(lock, -1)); }

    const std::string folder;
    int lock = open((folder + "/held").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
};

// The loop ends while the warning box keeps the server from stopping; the server's threads go on using their
// socket notifiers until the box is closed, so the process stops them before it gives the notifiers back.
TEST_F(ProcessEnd, SigtermWhileAWarningBoxIsOpenEndsCleanlyOnceItIsClosed) {
    HeldProgram warningBox(state.folder);
    std::ofstream(warningBox.folder + "/zenity") << "#!/bin/sh\n" << warningBox.Command() << "\n";
    chmod((warningBox.folder + "/zenity").c_str(), 0755);
    WriteText(win32::HKEY_CURRENT_USER, raw::kProxyKey, "MailServerAddress", "no-such-host.invalid");
    auto server = StartServer({"-Startup"}, {"PATH=" + warningBox.folder + ":" + std::getenv("PATH"),
                                             "DISPLAY=:99", "VUVED_NO_GUI=0"});
    ASSERT_TRUE(WaitUntilListening()) << server->Output();  // its connection brings the box up
    ASSERT_TRUE(warningBox.WaitUntilStarted()) << server->Output();
    server->Signal(SIGTERM);
    ASSERT_TRUE(Eventually([] { return Control({"status"}).exitCode != 0; }, kExitTimeout))
        << "the loop did not end";
    warningBox.Release();
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

// SIGTERM while a client's stop waits for a translation: the loop ends at once (the client's stop took the object
// out of the running-object table), and the process waits for that stop before it gives the notifiers back.
TEST_F(ProcessEnd, SigtermDuringAClientsStopWaitsForItBeforeEnding) {
    DovecotServer dovecot;
    ASSERT_TRUE(dovecot.IsRunning()) << dovecot.Error();
    UseMailServer(dovecot.Port());
    HeldProgram translation(state.folder);
    UseCommandEngine(translation.Command() + "; cat");
    auto server = StartServer({"-Startup"});
    ASSERT_TRUE(WaitUntilListening()) << server->Output();
    Pop3TestClient mailClient(static_cast<std::uint16_t>(listenPort));
    ASSERT_TRUE(mailClient.Login(dovecot.User(), dovecot.Password()));
    ASSERT_TRUE(mailClient.MultiLineCommand("RETR 1"));
    ASSERT_TRUE(translation.WaitUntilStarted()) << server->Output();

    AutomationClient stopper;
    ASSERT_TRUE(stopper.Connect(win32::AutomationSocketPath()));
    // Its answer may be cut off by the end of the process.
    std::thread stopping([&stopper] {
        std::string error;
        stopper.Call("put_Running", nlohmann::json::array({0}), error);
    });
    // The stop has closed the listening socket and now waits for the translation in hand.
    EXPECT_TRUE(Eventually(
        [this] { return !CanConnect("127.0.0.1", static_cast<std::uint16_t>(listenPort)); }, kExitTimeout));
    server->Signal(SIGTERM);
    EXPECT_TRUE(Eventually([] { return Control({"status"}).exitCode != 0; }, kExitTimeout))
        << "the loop did not end";
    translation.Release();
    stopping.join();
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
}

}  // namespace
