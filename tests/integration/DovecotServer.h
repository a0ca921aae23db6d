// A private Dovecot POP3 server for C++ tests, run through the Python fixture dovecot.py (which seeds the
// Maildir and keeps everything under a temporary folder). Stopped when the object ends.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class DovecotServer {
public:
    // Seeded with the mails of mails.py. With a certificate and key file, Dovecot requires TLS and also listens
    // for TLS from the first byte (TlsPort).
    explicit DovecotServer(const std::string& certificateFile = {}, const std::string& keyFile = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // False when Dovecot could not be started (Error says why).
    bool IsRunning() const { return port != 0; }
    const std::string& Error() const { return error; }
    std::uint16_t Port() const { return port; }
    std::uint16_t TlsPort() const { return tlsPort; }
    const std::string& User() const { return user; }
    const std::string& Password() const { return password; }
    int MailCount() const { return mailCount; }

private:
    // One line of the fixture's output without its line end; empty when the fixture has ended.
    std::string ReadLine();

    pid_t child = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string error;
    std::uint16_t port = 0;
    std::uint16_t tlsPort = 0;
    std::string user;
    std::string password;
    int mailCount = 0;
};
