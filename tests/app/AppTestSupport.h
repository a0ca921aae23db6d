// Helpers of the application tests: the server executable and vuvedctl run as separate processes, bounded
// waits for them, and a raw connection to a Unix socket.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A process that runs beside the test with the test's environment and the extra variables; killed when the
// object ends if it is still there. Its output goes to memory files, so a talkative child never blocks.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code once it has ended within timeout; nothing while it still runs (or it died by a signal).
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
    void Signal(int signal);
    int ThreadCount() const;  // from /proc
    std::string Output() const { return Read(errorsFd) + Read(outputFd); }  // stderr, then stdout, so far
    static std::string Read(int fd);

    const int outputFd;
    const int errorsFd;

private:
    pid_t pid = -1;
    std::optional<int> exitCode;
    bool reaped = false;
};

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not end in time or was killed by a signal
    std::string output;
    std::string errors;
};

// Runs a program to its end (killed after timeout).
ProcessResult RunProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnvironment = {});

// A connected Unix stream socket, -1 when nothing listens at path.
int ConnectUnixSocket(const std::string& path);

std::string ServerExecutable();
std::string ControlExecutable();
