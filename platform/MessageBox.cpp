// Linux backend of the message box: the caption and text always go to stderr as UTF-8; in a graphical session
// a blocking zenity warning dialog is shown as well. Any thread may call; the call returns when the box is
// closed.
#include "platform/MessageBox.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/ThreadSafety.h"

extern char** environ;

namespace win32 {

namespace {

Mutex handlerLock;
MessageBoxHandler installedHandler GUARDED_BY(handlerLock);  // empty: the default backend

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool ExecutableOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return false;
    }
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        if (access((folder + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool GraphicalDialogWanted() {
    const char* noGui = std::getenv("VUVED_NO_GUI");
    if (noGui != nullptr && std::string(noGui) == "1") {
        return false;
    }
    return (EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY")) && ExecutableOnPath("zenity");
}

// Shows the dialog and waits until the user closes it.
void ShowZenityWarning(const std::string& textUtf8, const std::string& captionUtf8) {
    std::string titleArgument = "--title=" + captionUtf8;
    std::string textArgument = "--text=" + textUtf8;
    std::vector<char*> argv = {const_cast<char*>("zenity"),
                               const_cast<char*>("--warning"),
                               const_cast<char*>("--no-markup"),
                               titleArgument.data(),
                               textArgument.data(),
                               nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "zenity", nullptr, nullptr, argv.data(), environ) != 0) {
        return;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

int DefaultMessageBox(std::string_view textUtf8, std::string_view captionUtf8) {
    const std::string line = std::string(captionUtf8) + ": " + std::string(textUtf8) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (GraphicalDialogWanted()) {
        ShowZenityWarning(std::string(textUtf8), std::string(captionUtf8));
    }
    return IDOK;
}

}  // namespace

int MessageBox(HWND /*owner*/, const char* text, const char* caption, UINT type) {
    const std::string textUtf8 = AnsiToUtf8(text != nullptr ? text : "");
    // A null caption is shown as "Error", as Windows does.
    const std::string captionUtf8 = caption != nullptr ? AnsiToUtf8(caption) : std::string("Error");
    MessageBoxHandler handler;
    {
        LockGuard guard(handlerLock);
        handler = installedHandler;
    }
    if (handler) {
        return handler(textUtf8, captionUtf8, type);
    }
    return DefaultMessageBox(textUtf8, captionUtf8);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    LockGuard guard(handlerLock);
    installedHandler = std::move(handler);
}

}  // namespace win32
