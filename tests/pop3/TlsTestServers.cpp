#include "pop3/TlsTestServers.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {
constexpr int kStartTimeoutMs = 60000;
constexpr int kHandshakeTimeoutMs = 20000;
constexpr char kTlsHandshakeRecord = 0x16;

std::string Script(const char* name)
{
    return std::string(VUVED_SOURCE_DIR) + "/tests/integration/" + name;
}
}  // namespace

TestCertificates::TestCertificates()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tlscaXXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    folder = pattern;
    ::chmod(folder.c_str(), 0755);  // Dovecot reads the certificates as its own user
    const std::string command = "python3 '" + Script("tls_ca.py") + "' '" + folder + "'";
    made = std::system(command.c_str()) == 0;
}

TestCertificates::~TestCertificates()
{
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

TlsDovecot::TlsDovecot(const TestCertificates& certificates, const std::string& certificate)
{
    int input[2];
    int output[2];
    if (::pipe(input) != 0) {
        return;
    }
    if (::pipe(output) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        return;
    }
    const std::string script = Script("dovecot.py");
    std::vector<std::string> arguments = {"python3", script, "serve"};
    if (!certificate.empty()) {
        arguments.insert(arguments.end(),
                         {"--tls", certificates.Path(certificate + ".pem"), certificates.Path(certificate + ".key")});
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    child = ::fork();
    if (child == 0) {
        ::dup2(input[0], 0);
        ::dup2(output[1], 1);
        for (const int fd : {input[0], input[1], output[0], output[1]}) {
            ::close(fd);
        }
        ::execvp("python3", argv.data());
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    toChild = input[1];
    fromChild = output[0];
    if (child < 0) {
        return;
    }
    for (;;) {
        const std::string line = ReadLine();
        if (line.empty()) {
            port = 0;
            return;
        }
        if (line.starts_with("PORT ")) {
            port = static_cast<std::uint16_t>(std::atoi(line.c_str() + 5));
        } else if (line.starts_with("TLSPORT ")) {
            tlsPort = static_cast<std::uint16_t>(std::atoi(line.c_str() + 8));
        } else if (line.starts_with("COUNT ")) {
            mailCount = std::atoi(line.c_str() + 6);
        } else if (line == "READY") {
            return;
        }
    }
}

TlsDovecot::~TlsDovecot()
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

std::string TlsDovecot::ReadLine()
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

SilentServer::SilentServer()
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listener, 4) == 0 && ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
}

SilentServer::~SilentServer()
{
    if (peer >= 0) {
        ::close(peer);
    }
    if (listener >= 0) {
        ::close(listener);
    }
}

bool SilentServer::AwaitHandshake()
{
    pollfd incoming{listener, POLLIN, 0};
    if (::poll(&incoming, 1, kHandshakeTimeoutMs) != 1 || (peer = ::accept(listener, nullptr, nullptr)) < 0) {
        return false;
    }
    pollfd data{peer, POLLIN, 0};
    char hello[16];
    return ::poll(&data, 1, kHandshakeTimeoutMs) == 1 && ::recv(peer, hello, sizeof hello, 0) > 0 &&
           hello[0] == kTlsHandshakeRecord;
}
