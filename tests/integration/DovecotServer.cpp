#include "integration/DovecotServer.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {
constexpr int kStartTimeoutMs = 60000;

std::string FixtureScript()
{
    return std::string(VUVED_SOURCE_DIR) + "/tests/integration/dovecot.py";
}
}  // namespace

DovecotServer::DovecotServer(const std::string& mailSet, const std::string& certificateFile,
                             const std::string& keyFile)
{
    std::vector<std::string> arguments = {VUVED_PYTHON, FixtureScript(), "serve", "--set", mailSet};
    if (!certificateFile.empty()) {
        arguments.insert(arguments.end(), {"--tls", certificateFile, keyFile});
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    int input[2];
    int output[2];
    if (::pipe(input) != 0 || ::pipe(output) != 0) {
        error = "pipe failed";
        return;
    }
    child = ::fork();
    if (child == 0) {
        ::dup2(input[0], 0);
        ::dup2(output[1], 1);
        ::close(input[0]);
        ::close(input[1]);
        ::close(output[0]);
        ::close(output[1]);
        ::execvp(VUVED_PYTHON, argv.data());
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    toChild = input[1];
    fromChild = output[0];
    if (child < 0) {
        error = "fork failed";
        return;
    }
    for (;;) {
        const std::string line = ReadLine();
        if (line.empty()) {
            error = "the Dovecot fixture ended before it was ready (see its output above)";
            port = 0;
            return;
        }
        if (line.starts_with("PORT ")) {
            port = static_cast<std::uint16_t>(std::atoi(line.c_str() + 5));
        } else if (line.starts_with("TLSPORT ")) {
            tlsPort = static_cast<std::uint16_t>(std::atoi(line.c_str() + 8));
        } else if (line.starts_with("USER ")) {
            user = line.substr(5);
        } else if (line.starts_with("PASS ")) {
            password = line.substr(5);
        } else if (line.starts_with("COUNT ")) {
            mailCount = std::atoi(line.c_str() + 6);
        } else if (line == "READY") {
            return;
        }
    }
}

DovecotServer::~DovecotServer()
{
    if (toChild >= 0) {
        ::close(toChild);  // end of input stops Dovecot and removes its folder
    }
    if (child > 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    if (fromChild >= 0) {
        ::close(fromChild);
    }
}

std::string DovecotServer::ReadLine()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    for (;;) {
        const std::size_t end = buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered.substr(0, end);
            buffered.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watch{fromChild, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        char chunk[256];
        const ssize_t got = ::read(fromChild, chunk, sizeof chunk);
        if (got <= 0) {
            return {};
        }
        buffered.append(chunk, static_cast<std::size_t>(got));
    }
}
