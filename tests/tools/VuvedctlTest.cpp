// vuvedctl as a user runs it: activation of the registered server, and its answers and exit codes.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/ServerProcessFixture.h"

namespace {

class Vuvedctl : public ServerProcessTest {
protected:
    void TearDown() override {
        // A server that a failed test left running is stopped, so that it does not outlive the test.
        Control({"stop"});
    }
};

// The server it starts writes its messages to a private log: here that its mail server is its own endpoint,
// which it warns of at every start and still runs.
TEST_F(Vuvedctl, StartActivatesTheRegisteredServerWithAPrivateLogAndStopEndsIt) {
    WriteText(win32::HKEY_CURRENT_USER, raw::kProxyKey, "MailServerAddress", "localhost");
    raw::SetDword(raw::kProxyKey, "MailServerPort", listenPort);
    ASSERT_EQ(RunProgram({ServerExecutable(), "-RegServer"}, std::chrono::seconds(30)).exitCode, 0);
    const ProcessResult start = Control({"start"});
    ASSERT_EQ(start.exitCode, 0) << start.errors;
    const std::string folder = state.folder + "/VUVed3UzeroVadave";
    const std::string log = folder + "/server.log";
    EXPECT_THAT(start.output, testing::HasSubstr("127.0.0.1:" + std::to_string(listenPort)));
    EXPECT_THAT(start.output, testing::HasSubstr(log));
    const auto logText = [&log] {
        std::ostringstream text;
        text << std::ifstream(log).rdbuf();
        return text.str();
    };
    EXPECT_TRUE(Eventually([&] { return logText().find("競合") != std::string::npos; }, kStartTimeout))
        << logText();
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(folder).permissions(), perms::owner_all);
    EXPECT_EQ(std::filesystem::status(log).permissions(), perms::owner_read | perms::owner_write);

    const ProcessResult status = Control({"status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.output, "Running: 1\nIsTranslating: 0\nHaveTranslateMail: 0\n");
    EXPECT_EQ(Control({"version"}).exitCode, 0);
    EXPECT_EQ(Control({"collect"}).exitCode, 0);
    // A second start finds the running server and starts nothing more.
    EXPECT_EQ(Control({"start"}).exitCode, 0);

    const ProcessResult stop = Control({"stop"});
    EXPECT_EQ(stop.exitCode, 0) << stop.errors;
    EXPECT_THAT(stop.output, testing::HasSubstr("is stopped"));
    EXPECT_EQ(Control({"status"}).exitCode, 4);
}

TEST_F(Vuvedctl, ClearExitCodes) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        const char* errorMentions;
    };
    const Case cases[] = {
        {{"start"}, 3, "not registered"},
        {{"status"}, 4, "not running"},
        {{"stop"}, 4, "not running"},
        {{"version"}, 4, "not running"},
        {{"settings", "set", "MailServerPort", "70000"}, 5, "a port from 1 to 65535"},
        {{"settings", "set", "ProxyBasedTranslationPort", "0"}, 5, "a port from 1 to 65535"},
        {{"settings", "set", "AllMail", "yes"}, 5, "from 0 to 1"},
        {{"settings", "set", "Engine", "babelfish"}, 5, "dictionary, command"},
        {{"settings", "set", "NoSuchSetting", "1"}, 5, "unknown setting"},
        {{"rules", "import", "/nonexistent/rules.txt"}, 1, "cannot read"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"settings"}, 2, "usage"},
        {{}, 2, "usage"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testing::PrintToString(testCase.arguments));
        const ProcessResult result = Control(testCase.arguments);
        EXPECT_EQ(result.exitCode, testCase.exitCode);
        EXPECT_NE(result.errors.find(testCase.errorMentions), std::string::npos) << result.errors;
    }
}

TEST_F(Vuvedctl, SettingsAndRulesRoundTrip) {
    EXPECT_EQ(Control({"settings", "set", "English Rate", "70"}).exitCode, 0);
    EXPECT_EQ(Control({"settings", "set", "Engine", "deepl"}).exitCode, 0);
    const ProcessResult shown = Control({"settings", "show"});
    EXPECT_NE(shown.output.find("\"deepl\""), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("English Rate               REG_DWORD 70"), std::string::npos) << shown.output;

    const std::string rules =
        "Rule\n{\n2\nNews\n1\n1\n1\nWordContainSubjectRule\n{\nWordRule\n{\nMailRule\n{\n0\n}\n4\nnews\n1\n1\n1\n}\n}\n}";
    // A file saved with CR LF line ends is read the same, never with its word shifted by the LF.
    for (const char* lineEnd : {"\n", "\r\n"}) {
        const std::string file = state.folder + "/rules.txt";
        std::ofstream(file, std::ios::binary) << std::regex_replace(rules, std::regex("\n"), lineEnd);
        const ProcessResult imported = Control({"rules", "import", file});
        ASSERT_EQ(imported.exitCode, 0) << imported.errors;
        const ProcessResult described = Control({"rules", "show"});
        EXPECT_EQ(described.output, "Pair 1 \"News\": translate when any of:\n  - Subject contains \"news\"\n");
    }
    EXPECT_EQ(Control({"rules", "export"}).output, rules + "\n");
}

}  // namespace
