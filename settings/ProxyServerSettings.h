// Readers of the proxy-server settings with their defaults. Every call reads the registry afresh through a
// short-lived ProxyServerPreferences, so a change applies at the next use; any thread may call.
#pragma once

#include <cstdint>
#include <string>

class ProxyServerSettings {
public:
    // Port on 127.0.0.1 for the mail client; 110 when absent or not a REG_DWORD.
    static std::uint32_t ProxyBasedTranslationPort();
    // Port of the real POP3 server; 110 when absent.
    static std::uint32_t MailServerPort();
    // Host name or dotted address of the real POP3 server; empty when absent.
    static std::string MailServerAddress();
    // Reads the address over address; false (address untouched) when it cannot be read.
    static bool ReadMailServerAddress(std::string& address);
    // How the relay talks to the real server: 0 plain (also when absent), 1 TLS from the first octet, 2 STLS
    // after the greeting. Other values are returned as they stand; the relay refuses them.
    static std::uint32_t MailServerSecurity();
    // A CA certificate file trusted besides the system's CAs; empty when absent.
    static std::string MailServerCAFile();
    // "Relay Authentication": true lets the client log in with CAPA and SASL AUTH besides USER and PASS, and retry
    // after a refused login; false (also when absent) keeps the plain USER and PASS dialogue.
    static bool RelayAuthentication();
};
