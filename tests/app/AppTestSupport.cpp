#include "app/AppTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "platform/ComServerModule.h"
#include "support/Eventually.h"
#include "tools/vuvedctl/AutomationClient.h"

extern char** environ;

// env(1) puts the extra variables over the inherited ones; stdin is /dev/null.
ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment) {
    int ends[2][2];  // the read and write ends of stdout's pipe and of stderr's
    if (pipe2(ends[0], O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(ends[1], O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), extraEnvironment.begin(), extraEnvironment.end());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[0][1], 1);
    posix_spawn_file_actions_adddup2(&actions, ends[1][1], 2);
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int stream = 0; stream < 2; ++stream) {
        close(ends[stream][1]);
        pipes[stream] = ends[stream][0];
    }
    pidFd = pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, pid, 0)) : -1;
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !reaped) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (const int fd : {pidFd, pipes[0], pipes[1]}) {
        close(fd);  // -1 for one never opened or already closed: nothing to do
    }
}

void ChildProcess::ReadPipes() {
    char buffer[4096];
    for (int stream = 0; stream < 2; ++stream) {
        ssize_t n = -1;
        while (pipes[stream] >= 0 && (n = read(pipes[stream], buffer, sizeof(buffer))) > 0) {
            (stream == 0 ? output : errors).append(buffer, static_cast<std::size_t>(n));
        }
        if (n == 0) {  // its end: no longer polled
            close(pipes[stream]);
            pipes[stream] = -1;
        }
    }
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid > 0 && !reaped) {
        ReadPipes();
        pollfd fds[3] = {{pidFd, POLLIN, 0}, {pipes[0], POLLIN, 0}, {pipes[1], POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (poll(fds, 3, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) {
            return std::nullopt;
        }
        int status = 0;
        if (fds[0].revents != 0 && waitpid(pid, &status, 0) == pid) {
            reaped = true;
            exitCode = WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
        }
    }
    ReadPipes();
    return exitCode;
}

void ChildProcess::Signal(int signal) {
    if (pid > 0 && !reaped) {
        kill(pid, signal);
    }
}

int ChildProcess::ThreadCount() const {
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task"), {}));
}

ProcessResult RunProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnvironment) {
    ChildProcess child(arguments, extraEnvironment);
    const std::optional<int> exitCode = child.WaitForExit(timeout);
    return {exitCode.value_or(-1), child.output, child.errors};
}

int ConnectUnixSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool ConnectWhenPublished(AutomationClient& client, std::chrono::milliseconds timeout) {
    return Eventually([&client] { return client.Connect(win32::AutomationSocketPath()); }, timeout);
}

std::string ServerExecutable() { return VUVED_SERVER_EXECUTABLE; }
std::string ControlExecutable() { return VUVED_CONTROL_EXECUTABLE; }
