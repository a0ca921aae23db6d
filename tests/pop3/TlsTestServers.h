// Peers of the TLS tests: the certificates of a test CA made with the openssl tool (tls_ca.py) in a temporary
// folder, and private Dovecot servers (dovecot.py) that require TLS with one of those certificates, or offer no TLS.
#pragma once

#include "integration/DovecotServer.h"

#include <sys/types.h>

#include <cstdint>
#include <string>

// The files of tls_ca.py, made once per object in a temporary folder that goes with it.
class TestCertificates {
public:
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    bool Made() const { return made; }
    std::string Path(const std::string& name) const { return folder + "/" + name; }
    // The test CA that issued the server certificates, and one that issued none of them.
    std::string Ca() const { return Path("ca.pem"); }
    std::string OtherCa() const { return Path("other-ca.pem"); }

private:
    std::string folder;
    bool made = false;
};

// A private Dovecot with the standard mails. certificate "" offers no TLS at all; otherwise "server",
// "wrong-name" or "expired" (the files of tls_ca.py) and TLS is required: STLS on Port(), TLS on TlsPort().
class TlsDovecot {
public:
    // certificate: the base name of a certificate made by TestCertificates; empty for a Dovecot without TLS.
    TlsDovecot(const TestCertificates& certificates, const std::string& certificate);

    bool IsRunning() const { return server.IsRunning(); }
    std::uint16_t Port() const { return server.Port(); }
    std::uint16_t TlsPort() const { return server.TlsPort(); }
    int MailCount() const { return server.MailCount(); }

private:
    DovecotServer server;
};

// The certificates and one Dovecot for each of them, shared by the cases of a suite (each start takes a moment).
struct TlsTestPeers {
    bool AllRunning() const
    {
        return certificates.Made() && trusted.IsRunning() && wrongName.IsRunning() && expired.IsRunning() &&
               withoutTls.IsRunning();
    }

    TestCertificates certificates;
    TlsDovecot trusted{certificates, "server"};
    TlsDovecot wrongName{certificates, "wrong-name"};
    TlsDovecot expired{certificates, "expired"};
    TlsDovecot withoutTls{certificates, ""};
};

// The user and password of every private Dovecot.
inline constexpr const char* kTestUser = "alice";
inline constexpr const char* kTestPassword = "wonderland";
