#include "integration/DovecotServer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

DovecotServer::DovecotServer(const std::string& certificateFile, const std::string& keyFile) {
    std::vector<std::string> arguments = {VUVED_PYTHON, VUVED_SOURCE_DIR "/tests/integration/dovecot.py", "serve"};
    if (!certificateFile.empty()) {
        arguments.insert(arguments.end(), {"--tls", certificateFile, keyFile});
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // Close-on-exec, so that the fixture holds only its own ends (dup2 makes them its standard input and
    // output).
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0 || (child = ::fork()) < 0) {
        error = "cannot start the Dovecot fixture";
        return;
    }
    if (child == 0) {
        ::dup2(input[0], 0);
        ::dup2(output[1], 1);
        ::execvp(VUVED_PYTHON, argv.data());
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    toChild = input[1];
    fromChild = output[0];
    // The fixture gives up by itself when Dovecot does not start in time.
    for (std::string line = ReadLine(); line != "READY"; line = ReadLine()) {
        if (line.empty()) {
            error = "the Dovecot fixture ended before it was ready (see its output above)";
            port = 0;
            return;
        }
        const std::string value = line.substr(line.find(' ') + 1);
        if (line.starts_with("PORT ")) {
            port = static_cast<std::uint16_t>(std::stoi(value));
        } else if (line.starts_with("TLSPORT ")) {
            tlsPort = static_cast<std::uint16_t>(std::stoi(value));
        } else if (line.starts_with("USER ")) {
            user = value;
        } else if (line.starts_with("PASS ")) {
            password = value;
        } else if (line.starts_with("COUNT ")) {
            mailCount = std::stoi(value);
        }
    }
}

DovecotServer::~DovecotServer() {
    if (toChild >= 0) {
        ::close(toChild);  // end of input stops Dovecot and removes its folder
    }
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    if (fromChild >= 0) {
        ::close(fromChild);
    }
}

std::string DovecotServer::ReadLine() {
    std::string line;
    for (char c; ::read(fromChild, &c, 1) == 1 && c != '\n';) {
        line += c;
    }
    return line;
}
