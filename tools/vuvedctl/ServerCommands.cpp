// start, stop, status, version, collect and call: automation calls on the server process.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/ComServerModule.h"
#include "platform/FileDescriptor.h"
#include "platform/Registry.h"
#include "platform/UserFolders.h"
#include "settings/ProxyServerSettings.h"
#include "tools/vuvedctl/AutomationClient.h"
#include "tools/vuvedctl/Commands.h"

extern char** environ;

namespace {

constexpr const char* kLocalServerKey = "CLSID\\{B0AB35D0-8C47-4028-9461-EF7222FF64B1}\\LocalServer32";
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kPollInterval = std::chrono::milliseconds(25);
constexpr std::uintmax_t kLargestLog = 1024 * 1024;

bool ConnectToServer(AutomationClient& client) { return client.Connect(win32::AutomationSocketPath()); }

int NotRunning() {
    std::fprintf(stderr, "vuvedctl: VUVed3UzeroVadave is not running (nothing answers at %s)\n",
                 win32::AutomationSocketPath().c_str());
    return kExitNotRunning;
}

// Calls a member and returns its result; prints the failure and returns nothing when the call fails.
std::optional<nlohmann::json> CallMember(AutomationClient& client, const std::string& member,
                                         const nlohmann::json& params = nlohmann::json::array()) {
    std::string error;
    std::optional<nlohmann::json> result = client.Call(member, params, error);
    if (!result) {
        std::fprintf(stderr, "vuvedctl: %s failed: %s\n", member.c_str(), error.c_str());
    }
    return result;
}

// The server's executable as COM would start it: the default value of the class's LocalServer32 key.
std::string LocalServerPath() {
    win32::HKEY key = nullptr;
    if (win32::RegOpenKeyEx(win32::HKEY_CLASSES_ROOT, kLocalServerKey, 0, win32::KEY_READ, &key) !=
        win32::ERROR_SUCCESS) {
        return {};
    }
    char path[4096] = {};
    win32::DWORD size = sizeof(path) - 1;
    win32::DWORD type = 0;
    const win32::LONG result =
        win32::RegQueryValueEx(key, nullptr, nullptr, &type, reinterpret_cast<win32::BYTE*>(path), &size);
    win32::RegCloseKey(key);
    return result == win32::ERROR_SUCCESS && type == win32::REG_SZ ? std::string(path) : std::string();
}

// Where a server started by this tool writes what it has to say (a mail server it cannot reach, a translation
// engine that fails): server.log in the system's XDG state folder, created private when missing. A log grown past
// kLargestLog is kept as server.log.old and a new one begun.
std::filesystem::path PrepareServerLog() {
    const std::filesystem::path log = ServerLogPath();
    const std::filesystem::path folder = log.parent_path();
    std::error_code error;
    if (std::filesystem::create_directories(folder, error)) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
    }
    if (const std::uintmax_t size = std::filesystem::file_size(log, error); !error && size > kLargestLog) {
        std::filesystem::rename(log, folder / "server.log.old", error);
    }
    return log;
}

// The log opened for appending. When it cannot be opened, the server's output goes nowhere rather than keeping it
// from starting.
class ServerLog {
public:
    explicit ServerLog(const std::filesystem::path& log)
        : file(open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)),
          path(file.Valid() ? log.string() : std::string()) {}

    int Descriptor() const { return file.Get(); }
    // Empty when the log is not open.
    const std::string& Path() const { return path; }

private:
    const win32::FileDescriptor file;
    const std::string path;
};

// Starts the server process in a session of its own, as the COM runtime starts a local server; its standard
// output and error go to the log.
bool LaunchServer(const std::string& path, const ServerLog& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (log.Descriptor() >= 0) {
        posix_spawn_file_actions_adddup2(&actions, log.Descriptor(), 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string program = path;
    std::string embedding = "-Embedding";
    char* argv[] = {program.data(), embedding.data(), nullptr};
    pid_t child = 0;
    const int result = posix_spawn(&child, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return result == 0;
}

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

}  // namespace

std::string ServerLogPath() { return win32::UserFolder("XDG_STATE_HOME", ".local/state") + "/server.log"; }

int StartCommand(const Arguments& arguments) {
    if (WantsHelp(arguments, "usage: vuvedctl start\n"
                             "Starts the POP3 server. When no VUVed3UzeroVadave process runs, the registered one\n"
                             "(LocalServer32 of its class in HKEY_CLASSES_ROOT) is started first.\n")) {
        return kExitOk;
    }
    AutomationClient client;
    if (!ConnectToServer(client)) {
        const std::string server = LocalServerPath();
        if (server.empty()) {
            std::fprintf(stderr,
                         "vuvedctl: VUVed3UzeroVadave is not registered (HKEY_CLASSES_ROOT\\%s is missing in %s);\n"
                         "          run \"VUVed3UzeroVadave -RegServer\" first\n",
                         kLocalServerKey, win32::RegistryFolder().c_str());
            return kExitNotRegistered;
        }
        const ServerLog log(PrepareServerLog());
        if (!LaunchServer(server, log)) {
            std::fprintf(stderr, "vuvedctl: cannot start %s\n", server.c_str());
            return kExitFailed;
        }
        if (!WaitUntil([&client] { return ConnectToServer(client); })) {
            std::fprintf(stderr, "vuvedctl: %s was started but does not answer%s%s\n", server.c_str(),
                         log.Path().empty() ? "" : "; see ", log.Path().c_str());
            return kExitFailed;
        }
        if (!log.Path().empty()) {
            std::printf("Started %s; its messages go to %s\n", server.c_str(), log.Path().c_str());
        }
    }
    if (!CallMember(client, "put_Running", nlohmann::json::array({1}))) {
        return kExitFailed;
    }
    const std::optional<nlohmann::json> running = CallMember(client, "get_Running");
    if (!running || running->value("pRunning", 0) == 0) {
        std::fprintf(stderr, "vuvedctl: the server did not start\n");
        return kExitFailed;
    }
    std::printf("VUVed3UzeroVadave is running: POP3 on 127.0.0.1:%u, relaying to %s:%u\n",
                ProxyServerSettings::ProxyBasedTranslationPort(), ProxyServerSettings::MailServerAddress().c_str(),
                ProxyServerSettings::MailServerPort());
    return kExitOk;
}

int StopCommand(const Arguments& arguments) {
    if (WantsHelp(arguments, "usage: vuvedctl stop\n"
                             "Stops the POP3 server; the process ends when no other client holds it.\n")) {
        return kExitOk;
    }
    AutomationClient client;
    if (!ConnectToServer(client)) {
        return NotRunning();
    }
    if (!CallMember(client, "put_Running", nlohmann::json::array({0}))) {
        return kExitFailed;
    }
    const std::optional<nlohmann::json> running = CallMember(client, "get_Running");
    if (running && running->value("pRunning", 0) != 0) {
        std::fprintf(stderr, "vuvedctl: the server shows a warning and cannot stop now; close it and try again\n");
        return kExitFailed;
    }
    client.Close();
    AutomationClient probe;
    if (!WaitUntil([&probe] { return !ConnectToServer(probe); })) {
        std::printf("The POP3 server is stopped; the process stays while other clients hold it.\n");
        return kExitOk;
    }
    std::printf("VUVed3UzeroVadave is stopped.\n");
    return kExitOk;
}

int StatusCommand(const Arguments& arguments) {
    if (WantsHelp(arguments, "usage: vuvedctl status\n"
                             "Prints Running, IsTranslating and HaveTranslateMail (1 or 0).\n")) {
        return kExitOk;
    }
    AutomationClient client;
    if (!ConnectToServer(client)) {
        return NotRunning();
    }
    const std::optional<nlohmann::json> running = CallMember(client, "get_Running");
    const std::optional<nlohmann::json> translating = CallMember(client, "IsTranslating");
    const std::optional<nlohmann::json> have = CallMember(client, "HaveTranslateMail");
    if (!running || !translating || !have) {
        return kExitFailed;
    }
    std::printf("Running: %d\nIsTranslating: %d\nHaveTranslateMail: %d\n", running->value("pRunning", 0),
                translating->value("pTranslate", 0), have->value("pHave", 0));
    return kExitOk;
}

int VersionCommand(const Arguments& arguments) {
    if (WantsHelp(arguments, "usage: vuvedctl version\nPrints the server's title, path and file version.\n")) {
        return kExitOk;
    }
    AutomationClient client;
    if (!ConnectToServer(client)) {
        return NotRunning();
    }
    const std::optional<nlohmann::json> version = CallMember(client, "GetVersion");
    if (!version) {
        return kExitFailed;
    }
    std::printf("Title: %s\nPath: %s\nVersion: %s\n", version->value("bstrTitle", "").c_str(),
                version->value("bstrPath", "").c_str(), version->value("bstrVersion", "").c_str());
    return kExitOk;
}

int CollectCommand(const Arguments& arguments) {
    if (WantsHelp(arguments, "usage: vuvedctl collect\n"
                             "Collects one finished connection and one finished agent of the server.\n")) {
        return kExitOk;
    }
    AutomationClient client;
    if (!ConnectToServer(client)) {
        return NotRunning();
    }
    return CallMember(client, "GarbageCollection") ? kExitOk : kExitFailed;
}

int CallCommand(const Arguments& arguments) {
    static const char* const usage =
        "usage: vuvedctl call MEMBER [PARAMS-JSON]\n"
        "Calls a member by name and prints its result as JSON, e.g. vuvedctl call put_Running '[1]'.\n";
    if (WantsHelp(arguments, usage)) {
        return kExitOk;
    }
    if (arguments.empty()) {
        return UsageError(usage);
    }
    nlohmann::json params = nlohmann::json::array();
    if (arguments.size() > 1) {
        params = nlohmann::json::parse(arguments[1], nullptr, false);
        if (params.is_discarded()) {
            std::fprintf(stderr, "vuvedctl: the parameters are not JSON: %s\n", arguments[1].c_str());
            return kExitBadValue;
        }
    }
    AutomationClient client;
    if (!ConnectToServer(client)) {
        return NotRunning();
    }
    const std::optional<nlohmann::json> result = CallMember(client, arguments[0], params);
    if (!result) {
        return kExitFailed;
    }
    std::printf("%s\n", result->dump().c_str());
    return kExitOk;
}
