#include "pop3/TlsTestServers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

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
