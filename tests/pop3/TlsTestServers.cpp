#include "pop3/TlsTestServers.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "support/PeerListener.h"

namespace {
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
    : server("standard", certificate.empty() ? std::string() : certificates.Path(certificate + ".pem"),
             certificate.empty() ? std::string() : certificates.Path(certificate + ".key"))
{
}

SilentServer::SilentServer()
{
    listener = ListenForPeers(port, 4);
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
