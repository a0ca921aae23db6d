#include "app/AppTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "support/Eventually.h"

extern char** environ;

// env(1) puts the extra variables over the inherited ones; stdin is /dev/null.
ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment)
    : outputFd(memfd_create("stdout", MFD_CLOEXEC)), errorsFd(memfd_create("stderr", MFD_CLOEXEC)) {
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
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errorsFd, 2);
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !reaped) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(outputFd);
    close(errorsFd);
}

std::string ChildProcess::Read(int fd) {
    struct stat info {};
    std::string text(fstat(fd, &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0, '\0');
    text.resize(static_cast<std::size_t>(std::max<ssize_t>(pread(fd, text.data(), text.size(), 0), 0)));
    return text;
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    int status = 0;
    if (pid > 0 && !reaped && Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout)) {
        reaped = true;
        exitCode = WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
    }
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
    return {exitCode.value_or(-1), ChildProcess::Read(child.outputFd), ChildProcess::Read(child.errorsFd)};
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

std::string ServerExecutable() { return VUVED_SERVER_EXECUTABLE; }
std::string ControlExecutable() { return VUVED_CONTROL_EXECUTABLE; }
