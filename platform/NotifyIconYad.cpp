// Notification icons shown in the desktop's tray by yad: one "yad --notification --listen" child per icon, fed
// icon and tooltip commands on its standard input. A chosen menu item writes its command number into a FIFO of
// the runtime folder; a reader thread per icon posts it to the window as WM_COMMAND.
//
// Threads: Add/Modify/Delete/SetMenu on the window's thread; one FIFO reader thread per icon, ended through an
// eventfd by Delete. Lock: iconsLock guards the icon list (held only to find or remove an entry).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ComServerModule.h"
#include "platform/NotifyIcon.h"
#include "platform/ThreadSafety.h"

extern char** environ;

namespace win32 {

namespace {

std::string FindInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

class TrayIcon {
public:
    TrayIcon(HWND window, std::string fifoPath) : window(window), fifoPath(std::move(fifoPath)) {}
    ~TrayIcon() { Close(); }

    bool Open(const std::string& yad, const std::string& image, const std::string& tip) {
        unlink(fifoPath.c_str());
        if (mkfifo(fifoPath.c_str(), 0600) != 0) {
            return false;
        }
        fifoFd = open(fifoPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        stopFd = eventfd(0, EFD_CLOEXEC);
        // A socket pair rather than a pipe: writing to a yad that has died (its display gone) must fail with
        // EPIPE instead of killing the process with SIGPIPE.
        int input[2];
        if (fifoFd < 0 || stopFd < 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> arguments = {yad, "--notification", "--listen", "--no-middle", "--command=true",
                                              "--icon-size=32", "--image=" + image, "--text=" + tip};
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&child, yad.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        toYad = input[1];
        if (spawned != 0) {
            child = 0;
            return false;
        }
        reader = std::thread([this] { ReadCommands(); });
        return true;
    }

    bool Send(const std::string& line) {
        if (toYad < 0) {
            return false;
        }
        const std::string text = line + "\n";
        return send(toYad, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    const std::string& Fifo() const { return fifoPath; }

private:
    void Close() {
        if (toYad >= 0) {
            Send("quit");
            close(toYad);
            toYad = -1;
        }
        if (child > 0) {
            // yad leaves at "quit" or at the end of its input; a hung one is ended after a second.
            int status = 0;
            for (int tries = 0; tries < 100 && waitpid(child, &status, WNOHANG) == 0; ++tries) {
                usleep(10 * 1000);
            }
            if (waitpid(child, &status, WNOHANG) == 0) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
            }
            child = 0;
        }
        if (reader.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(stopFd, &one, sizeof(one));
            reader.join();
        }
        if (fifoFd >= 0) {
            close(fifoFd);
        }
        if (stopFd >= 0) {
            close(stopFd);
        }
        unlink(fifoPath.c_str());
    }

    void ReadCommands() {
        std::string pending;
        pollfd fds[2] = {{fifoFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0) {
                continue;
            }
            if (fds[1].revents != 0) {
                return;
            }
            char buffer[256];
            const ssize_t n = read(fifoFd, buffer, sizeof(buffer));
            if (n <= 0) {
                continue;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                const unsigned long command = std::strtoul(pending.substr(0, end).c_str(), nullptr, 10);
                pending.erase(0, end + 1);
                if (command != 0 && command <= 0xFFFF) {
                    PostMessage(window, WM_COMMAND, command, 0);
                }
            }
        }
    }

    HWND window;
    std::string fifoPath;
    int fifoFd = -1;
    int stopFd = -1;
    int toYad = -1;
    pid_t child = 0;
    std::thread reader;
};

class YadBackend final : public NotifyIconBackend {
public:
    explicit YadBackend(std::string yad) : yad(std::move(yad)) {}

    bool Add(const NotifyIconState& state) override {
        const std::string folder = RuntimeFolder();
        if (folder.empty()) {
            return false;
        }
        auto icon = std::make_unique<TrayIcon>(
            state.window, folder + "/menu-" + std::to_string(getpid()) + "-" + std::to_string(state.id));
        if (!icon->Open(yad, ImageFile(state.icon), state.tipUtf8)) {
            return false;
        }
        LockGuard lock(iconsLock);
        icons[{state.window, state.id}] = std::move(icon);
        return true;
    }

    bool Modify(const NotifyIconState& state) override {
        TrayIcon* icon = Find(state.window, state.id);
        return icon != nullptr && icon->Send("icon:" + ImageFile(state.icon)) &&
               icon->Send("tooltip:" + state.tipUtf8);
    }

    bool Delete(HWND window, UINT id) override {
        std::unique_ptr<TrayIcon> icon;
        {
            LockGuard lock(iconsLock);
            const auto found = icons.find({window, id});
            if (found == icons.end()) {
                return false;
            }
            icon = std::move(found->second);
            icons.erase(found);
        }
        return true;  // the icon's destructor ends yad and the reader
    }

    bool SetMenu(HWND window, UINT id, const std::vector<PopupMenuItem>& items) override {
        TrayIcon* icon = Find(window, id);
        if (icon == nullptr) {
            return false;
        }
        std::string menu = "menu:";
        for (const PopupMenuItem& item : items) {
            if (menu.size() > 5) {
                menu += "|";
            }
            menu += item.textUtf8 + "!sh -c 'echo " + std::to_string(item.command) + " > " + icon->Fifo() + "'";
        }
        return icon->Send(menu);
    }

    // The tray shows the menu itself on a right click (see SetMenu).
    bool TrackPopupMenu(HWND, const std::vector<PopupMenuItem>&) override { return false; }

private:
    TrayIcon* Find(HWND window, UINT id) {
        LockGuard lock(iconsLock);
        const auto found = icons.find({window, id});
        return found == icons.end() ? nullptr : found->second.get();
    }

    // yad takes images by file name: each icon is written once into the runtime folder.
    static std::string ImageFile(HICON icon) {
        if (icon == nullptr) {
            return "image-missing";
        }
        const std::string path = RuntimeFolder() + "/icon-" + std::to_string(icon->resourceId) + ".png";
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || static_cast<std::size_t>(info.st_size) != icon->png.size()) {
            std::ofstream file(path, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(icon->png.data()), static_cast<std::streamsize>(icon->png.size()));
        }
        return path;
    }

    std::string yad;
    Mutex iconsLock;
    std::map<std::pair<HWND, UINT>, std::unique_ptr<TrayIcon>> icons GUARDED_BY(iconsLock);
};

}  // namespace

std::shared_ptr<NotifyIconBackend> MakeYadNotifyIconBackend() {
    std::string yad = FindInPath("yad");
    if (yad.empty()) {
        return nullptr;
    }
    return std::make_shared<YadBackend>(std::move(yad));
}

}  // namespace win32
