#include "app/SettingsPageClass.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "app/AutomationInterfaces.h"
#include "settingsui/BrowserOpener.h"

extern char** environ;

using namespace win32;

namespace {

constexpr const char16_t* kSettingsProgId = u"RiloAddinManagerExe.Application";
// {6E0C1B52-3F7A-4D0B-9C1E-5A2F8D4B7E31}: the class of our settings user interface.
constexpr CLSID kSettingsClsid = {0x6E0C1B52, 0x3F7A, 0x4D0B, {0x9C, 0x1E, 0x5A, 0x2F, 0x8D, 0x4B, 0x7E, 0x31}};
constexpr int kUrlTimeoutMilliseconds = 10000;

// One instance as the notification window uses it: Show opens the page; the page has no window of this process.
class SettingsApplication final : public ISettingsApplication {
public:
    explicit SettingsApplication(std::string url) : url(std::move(url)) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ISettingsApplication) {
            *object = static_cast<ISettingsApplication*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, DWORD, void**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(const IID&, char16_t**, UINT, DWORD, LONG*) override { return E_NOTIMPL; }
    HRESULT Invoke(LONG, const IID&, DWORD, WORD, void*, void*, void*, UINT*) override { return E_NOTIMPL; }
    HRESULT UnusedSlot7() override { return E_NOTIMPL; }
    HRESULT Show() override { return OpenInBrowser(url) ? S_OK : E_FAIL; }
    HRESULT UnusedSlot9() override { return E_NOTIMPL; }
    HRESULT UnusedSlot10() override { return E_NOTIMPL; }
    HRESULT GetWindow(HWND* window) override {
        *window = nullptr;  // the browser brings its own window forward
        return S_OK;
    }

private:
    ~SettingsApplication() = default;

    const std::string url;
    std::atomic<ULONG> references{0};
};

// The first line the page prints, at most kUrlTimeoutMilliseconds after its start.
std::string ReadFirstLine(int fd) {
    std::string line;
    pollfd readable = {fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&readable, 1, kUrlTimeoutMilliseconds) > 0) {
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n <= 0) {
            return {};
        }
        line.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t end = line.find('\n');
    return end == std::string::npos ? std::string() : line.substr(0, end);
}

}  // namespace

SettingsPageClass::SettingsPageClass(std::string controlProgram) : controlProgram(std::move(controlProgram)) {
    replaced = RegisterComponentClass({kSettingsProgId, kSettingsClsid, CLSCTX_LOCAL_SERVER,
                                       [this](REFIID iid, void** object) {
                                           const std::string address = PageUrl();
                                           if (address.empty()) {
                                               return E_FAIL;
                                           }
                                           auto* application = new SettingsApplication(address);
                                           application->AddRef();
                                           const HRESULT result = application->QueryInterface(iid, object);
                                           application->Release();
                                           return result;
                                       }});
}

SettingsPageClass::~SettingsPageClass() {
    if (replaced) {
        RegisterComponentClass(std::move(*replaced));
    } else {
        UnregisterComponentClass(kSettingsProgId);
    }
    if (page > 0) {
        waitpid(page, nullptr, WNOHANG);  // collected if it has ended; else it lives on by itself
    }
}

std::string SettingsPageClass::DefaultControlProgram() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    for (const std::filesystem::path& candidate : {folder / "vuvedctl", folder / "../tools/vuvedctl/vuvedctl"}) {
        if (!error && access(candidate.c_str(), X_OK) == 0) {
            return candidate.lexically_normal().string();
        }
    }
    return "vuvedctl";
}

std::string SettingsPageClass::PageUrl() {
    if (page > 0 && waitpid(page, nullptr, WNOHANG) == 0) {
        return url;  // still serving
    }
    page = 0;
    url.clear();
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string program = controlProgram;
    std::string command = "ui";
    std::string print = "--print";
    char* argv[] = {program.data(), command.data(), print.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(output[1]);
    if (spawned == 0) {
        page = child;
        url = ReadFirstLine(output[0]);
    }
    close(output[0]);
    if (url.empty()) {
        std::fprintf(stderr, "VUVed3UzeroVadave: cannot open the settings page: \"%s ui --print\" %s\n",
                     controlProgram.c_str(), spawned == 0 ? "printed no address" : "cannot be started");
    }
    return url;
}
