#include "app/AppTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/ComServerModule.h"
#include "support/Eventually.h"
#include "tools/vuvedctl/AutomationClient.h"

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        if (std::none_of(extra.begin(), extra.end(), [&](const std::string& e) { return e.starts_with(name); })) {
            environment.push_back(text);
        }
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

// Starts arguments with stdin from /dev/null and stdout and stderr into the given descriptors; -1 when it fails.
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment, int out,
            int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<std::string> argv = arguments;
    std::vector<std::string> environment = Environment(extraEnvironment);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, Pointers(argv).data(), Pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

}  // namespace

ScopedXdgFolder::ScopedXdgFolder(const char* variable) : variable(variable) {
    char pattern[] = "/tmp/vuved-app-XXXXXX";
    folder = mkdtemp(pattern);
    if (const char* old = std::getenv(variable)) {
        previous = old;
        hadPrevious = true;
    }
    setenv(variable, folder.c_str(), 1);
}

ScopedXdgFolder::~ScopedXdgFolder() {
    if (hadPrevious) {
        setenv(variable, previous.c_str(), 1);
    } else {
        unsetenv(variable);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

ProcessResult RunProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnvironment) {
    ProcessResult result;
    int output[2];
    int errors[2];
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t pid = Spawn(arguments, extraEnvironment, output[1], errors[1]);
    close(output[1]);
    close(errors[1]);
    if (pid < 0) {
        close(output[0]);
        close(errors[0]);
        return result;
    }
    // Both pipes are drained while waiting, so a talkative child never blocks on a full pipe.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd fds[2] = {{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    (i == 0 ? result.output : result.errors).append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
    }
    for (const pollfd& fd : fds) {
        close(fd.fd);  // -1 for one already closed: nothing to do
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& extraEnvironment) {
    int outputPipe[2];
    if (pipe2(outputPipe, O_CLOEXEC) != 0) {
        return;
    }
    pid = Spawn(arguments, extraEnvironment, outputPipe[1], outputPipe[1]);
    close(outputPipe[1]);
    if (pid < 0) {
        close(outputPipe[0]);
        return;
    }
    outputFd = outputPipe[0];
    fcntl(outputFd, F_SETFL, O_NONBLOCK);
    pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !reaped) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    if (pidFd >= 0) {
        close(pidFd);
    }
    if (outputFd >= 0) {
        close(outputFd);
    }
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (pid <= 0) {
        return std::nullopt;
    }
    if (!reaped) {
        pollfd fd = {pidFd, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) {
            return std::nullopt;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) {
            return std::nullopt;
        }
        reaped = true;
        if (WIFEXITED(status)) {
            exitCode = WEXITSTATUS(status);
        }
    }
    return exitCode;
}

bool ChildProcess::HasEnded() {
    WaitForExit(std::chrono::milliseconds(0));
    return reaped;
}

void ChildProcess::Signal(int signal) {
    if (pid > 0 && !reaped) {
        kill(pid, signal);
    }
}

int ChildProcess::ThreadCount() const {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

const std::string& ChildProcess::Output() {
    char buffer[4096];
    for (ssize_t n; outputFd >= 0 && (n = read(outputFd, buffer, sizeof(buffer))) > 0;) {
        output.append(buffer, static_cast<std::size_t>(n));
    }
    return output;
}

bool ConnectWhenPublished(AutomationClient& client, std::chrono::milliseconds timeout) {
    return Eventually([&client] { return client.Connect(win32::AutomationSocketPath()); }, timeout);
}

std::string ServerExecutable() { return VUVED_SERVER_EXECUTABLE; }
std::string ControlExecutable() { return VUVED_CONTROL_EXECUTABLE; }
