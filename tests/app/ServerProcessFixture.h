// A fixture for tests that run the server executable as a separate process: its own registry folder, runtime
// folder and state folder, no graphical backends, the proxy-server settings pointing at a port of the test's choice.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/AppTestSupport.h"
#include "integration/Pop3TestClient.h"
#include "integration/RelaySettings.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"
#include "support/Eventually.h"
#include "tools/vuvedctl/AutomationClient.h"
#include "translate/TranslationSettings.h"

class ServerProcessTest : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kStartTimeout{20000};
    static constexpr std::chrono::milliseconds kExitTimeout{20000};

    void SetUp() override {
        setenv("VUVED_NO_GUI", "1", 1);
        listenPort = UnusedLoopbackPort();
        // Not the listening port: the same endpoint on both sides would stop the start with a warning.
        WriteProxyServerSettings("127.0.0.1", listenPort == 1 ? 2 : 1, listenPort);
    }

    std::unique_ptr<ChildProcess> StartServer(std::vector<std::string> switches = {},
                                              const std::vector<std::string>& extraEnvironment = {}) {
        switches.insert(switches.begin(), ServerExecutable());
        return std::make_unique<ChildProcess>(switches, extraEnvironment);
    }

    // The relay in front of the mail server at port, translating with the installed dictionary.
    void UseMailServer(unsigned port) {
        WriteProxyServerDword("MailServerPort", port);
        WriteRegistryString(kEnginePreferencesKey, "Engine", "dictionary");
    }

    bool WaitUntilListening() {
        return Eventually(
            [this] { return Pop3TestClient(static_cast<std::uint16_t>(listenPort), 1000).IsConnected(); },
            kStartTimeout);
    }

    static ProcessResult Control(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ControlExecutable());
        return RunProgram(arguments, std::chrono::seconds(60));
    }

    static bool WaitForStatus(const std::string& line, std::chrono::milliseconds timeout) {
        return Eventually([&line] { return Control({"status"}).output.find(line) != std::string::npos; }, timeout);
    }

    // A member's result, failing the test when the call fails.
    static nlohmann::json Call(AutomationClient& client, const std::string& member,
                               const nlohmann::json& params = nlohmann::json::array()) {
        std::string error;
        std::optional<nlohmann::json> result = client.Call(member, params, error);
        EXPECT_TRUE(result) << member << ": " << error;
        return result.value_or(nlohmann::json::object());
    }

    TempRegistryFolder registry;
    ScopedFolderVariable runtime{"XDG_RUNTIME_DIR"};
    ScopedFolderVariable state{"XDG_STATE_HOME"};  // where vuvedctl start writes the server's log
    unsigned listenPort = 0;
};
