// What the server leaves behind: neither a password a mail client sends nor the engine's API key (taken from
// the environment) is ever written anywhere.
#include <gmock/gmock.h>
#include <signal.h>

#include <ctime>
#include <random>

#include "app/ServerProcessFixture.h"
#include "engines/FakeTranslationServer.h"
#include "support/ScriptedPop3Server.h"

namespace {

using Security = ServerProcessTest;

TEST_F(Security, PasswordAndApiKeyAreNeverWrittenAnywhere) {
    std::random_device random;
    const std::string marker = "pw-marker-" + std::to_string(random()) + std::to_string(random());
    const std::string key = "sk-marker-" + std::to_string(random()) + std::to_string(random());
    FakeTranslationServer engine;
    WriteRegistryString(kEnginePreferencesKey, "Engine", "openai");
    WriteRegistryString(kEnginePreferencesKey, "Endpoint", engine.BaseUrl() + "/v1");
    WriteRegistryString(kEnginePreferencesKey, "Model", "small-model");
    const std::string started = "@" + std::to_string(std::time(nullptr) - 2);
    // One login the mail server takes, one it refuses; its one mail goes to the engine, so the key is really used.
    ScriptedPop3Server upstream(Pop3Responder(
        {{"PASS " + marker, "+OK logged in\r\n"},
         {"PASS " + marker + "-wrong", "-ERR [AUTH] " + marker + "\r\n"},
         {"RETR 1", "+OK\r\nSubject: Project update\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
                    "Hello Alice,\r\n.\r\n"}}));
    WriteProxyServerDword("MailServerPort", upstream.Port());

    // Its home and temporary folders are the test's, so that everything it may write is searched below.
    const ScopedFolderVariable home("HOME");
    const ScopedFolderVariable temporary("TMPDIR");
    auto server = StartServer({"-Startup"}, {"OPENAI_API_KEY=" + key});
    ASSERT_TRUE(WaitUntilListening()) << server->Output();
    const auto session = [this](const std::string& password, const std::vector<std::string>& commands) {
        Pop3TestClient mailClient(static_cast<std::uint16_t>(listenPort));
        EXPECT_TRUE(mailClient.ReadLine());
        EXPECT_EQ(mailClient.Command("USER alice").value_or("").substr(0, 3), "+OK");
        std::string answers = mailClient.Command("PASS " + password).value_or("");
        for (const std::string& command : commands) {
            answers += mailClient.MultiLineCommand(command).value_or("");
        }
        return answers;
    };
    // Only this password logs in at the mail server: the marker the search below looks for was really sent.
    EXPECT_TRUE(session(marker, {"RETR 1", "QUIT"}).starts_with("+OK logged in\r\n"));
    // The translated copy holds the engine's answer (its mark, ":" and the text): the key was in use.
    ASSERT_TRUE(WaitForStatus("HaveTranslateMail: 1", std::chrono::seconds(60)));
    EXPECT_THAT(session("anything", {"RETR 1", "QUIT"}), testing::HasSubstr(":Hello Alice,"));
    // The mail server's refusal is the mail server's text; the relay passes it on and keeps it nowhere.
    session(marker + "-wrong", {"QUIT"});
    {
        // A client that leaves in the middle of its login.
        Pop3TestClient mailClient(static_cast<std::uint16_t>(listenPort));
        ASSERT_TRUE(mailClient.ReadLine());
        mailClient.Command("USER alice");
        mailClient.SendRaw("PASS " + marker);
    }

    server->Signal(SIGTERM);
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << "the server did not end well after SIGTERM";

    // Everything the run may have written: its output, its home and temporary folder, the registry and
    // runtime folders, and files put straight into the system's temporary folder.
    for (const std::string& secret : {marker, key}) {
        EXPECT_THAT(server->Output(), testing::Not(testing::HasSubstr(secret)));
        const auto filesHolding = [&](std::vector<std::string> find) {
            find.insert(find.end(), {"-type", "f", "-newermt", started, "-size", "-64M", "-exec", "grep",
                                     "-lF", "-e", secret, "{}", "+"});
            return RunProgram(find, std::chrono::seconds(120)).output;
        };
        EXPECT_EQ(filesHolding({"/usr/bin/find", home.root, temporary.root, registry.root, runtime.folder}),
                  "");
        EXPECT_EQ(filesHolding({"/usr/bin/find", "/tmp", "-maxdepth", "1"}), "");
    }
}

}  // namespace
