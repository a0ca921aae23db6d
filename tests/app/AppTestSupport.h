// Helpers of the application tests: a private runtime folder (where the server publishes its automation socket),
// the server executable and vuvedctl run as separate processes, bounded waits for them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class AutomationClient;

// Makes a new temporary folder the process's XDG base folder of the given variable (XDG_RUNTIME_DIR,
// XDG_STATE_HOME) while the object lives; children inherit it.
class ScopedXdgFolder {
public:
    explicit ScopedXdgFolder(const char* variable);
    ~ScopedXdgFolder();
    ScopedXdgFolder(const ScopedXdgFolder&) = delete;
    ScopedXdgFolder& operator=(const ScopedXdgFolder&) = delete;
    const std::string& Folder() const { return folder; }

private:
    const char* variable;
    std::string folder;
    std::string previous;
    bool hadPrevious = false;
};

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not end in time or was killed by a signal
    std::string output;
    std::string errors;
};

// Runs a program to its end (at most timeout) with the test process's environment and the extra variables.
ProcessResult RunProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnvironment = {});

// A process that runs beside the test; killed when the object ends if it is still there.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code once it has ended within timeout; nothing while it still runs (or it died by a signal).
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
    bool HasEnded();
    void Signal(int signal);
    // Threads of the process, from /proc.
    int ThreadCount() const;
    const std::string& Output();  // what it wrote to stdout and stderr so far (read after it has ended)

private:
    pid_t pid = -1;
    int pidFd = -1;
    int outputFd = -1;
    std::optional<int> exitCode;
    bool reaped = false;
    std::string output;
};

// Connects client to the automation socket of the runtime folder, retrying until the server publishes it.
bool ConnectWhenPublished(AutomationClient& client, std::chrono::milliseconds timeout);

std::string ServerExecutable();
std::string ControlExecutable();
