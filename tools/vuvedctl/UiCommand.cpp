// ui: runs the settings page in this process until it is interrupted or the page is closed. The page's state comes
// from the automation object; its start, stop and collect are this tool's own commands, run as a child so that the
// page shows what they print.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/ComServerModule.h"
#include "settingsui/BrowserOpener.h"
#include "settingsui/SettingsPageServer.h"
#include "tools/vuvedctl/AutomationClient.h"
#include "tools/vuvedctl/Commands.h"

extern char** environ;

namespace {

constexpr auto kServingTimeout = std::chrono::seconds(10);

nlohmann::json ServerState() {
    AutomationClient client;
    if (!client.Connect(win32::AutomationSocketPath())) {
        return {{"reachable", false}};
    }
    std::string error;
    const auto member = [&](const char* name, const char* field) {
        const std::optional<nlohmann::json> result = client.Call(name, nlohmann::json::array(), error);
        return result ? result->value(field, 0) : 0;
    };
    nlohmann::json state = {{"reachable", true},
                            {"running", member("get_Running", "pRunning")},
                            {"translating", member("IsTranslating", "pTranslate")},
                            {"haveTranslateMail", member("HaveTranslateMail", "pHave")}};
    if (const std::optional<nlohmann::json> version = client.Call("GetVersion", nlohmann::json::array(), error)) {
        state["title"] = version->value("bstrTitle", "");
        state["version"] = version->value("bstrVersion", "");
    }
    return state;
}

// Runs "vuvedctl ACTION" and hands back what it printed.
nlohmann::json RunOwnCommand(const std::string& action) {
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        return {{"ok", false}, {"message", "cannot run vuvedctl " + action}};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, output[1], 2);
    std::string program = "/proc/self/exe";
    std::string name = "vuvedctl";
    std::string command = action;
    char* argv[] = {name.data(), command.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    std::string message;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = read(output[0], buffer, sizeof(buffer))) != 0;) {
        if (n > 0) {
            message.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(output[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child) {
        return {{"ok", false}, {"message", "cannot run vuvedctl " + action}};
    }
    return {{"ok", WIFEXITED(status) && WEXITSTATUS(status) == 0}, {"message", message}};
}

}  // namespace

int UiCommand(const Arguments& arguments) {
    static const char* const usage =
        "usage: vuvedctl ui [--port N] [--print]\n"
        "Serves the settings page on 127.0.0.1 (at a free port, or N) and opens it in the browser ($BROWSER,\n"
        "else xdg-open). With --print it prints the page's address, with its access token, and opens nothing.\n"
        "Runs until interrupted or until the page's Close is pressed.\n";
    if (WantsHelp(arguments, usage)) {
        return kExitOk;
    }
    int port = 0;
    bool printOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--print") {
            printOnly = true;
        } else if (arguments[i] == "--port" && i + 1 < arguments.size()) {
            char* end = nullptr;
            const long wanted = std::strtol(arguments[++i].c_str(), &end, 10);
            if (*end != '\0' || wanted < 1 || wanted > 65535) {
                std::fprintf(stderr, "vuvedctl: bad value \"%s\" for --port: a port from 1 to 65535 is expected\n",
                             arguments[i].c_str());
                return kExitBadValue;
            }
            port = static_cast<int>(wanted);
        } else {
            return UsageError(usage);
        }
    }

    // Blocked before any thread starts, so that they arrive at the sigwait below and nowhere else.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        sigaddset(&endSignals, signal);
    }
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    SettingsPageServer page({
        .state = ServerState,
        .act = RunOwnCommand,
        .closeRequested = [] { kill(getpid(), SIGUSR1); },
        .logPath = ServerLogPath(),
    });
    if (!page.Bind(port)) {
        std::fprintf(stderr, "vuvedctl: cannot serve the settings page on 127.0.0.1%s\n",
                     port == 0 ? "" : (":" + std::to_string(port) + " (is the port in use?)").c_str());
        return kExitFailed;
    }
    std::thread serving([&page] { page.Run(); });
    const auto deadline = std::chrono::steady_clock::now() + kServingTimeout;
    while (!page.IsServing() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (printOnly) {
        std::printf("%s\n", page.Url().c_str());
    } else {
        // The opener runs detached: whether a browser came up is not known here, so the address is given too.
        std::printf("%s the settings page at %s\nCtrl+C (or the page's Close button) ends it.\n",
                    OpenInBrowser(page.Url()) ? "Opening" : "Open", page.Url().c_str());
    }
    std::fflush(stdout);

    int received = 0;
    sigwait(&endSignals, &received);
    page.Stop();
    serving.join();
    return kExitOk;
}
