#include "settings/ProxyServerSettings.h"

#include "settings/ProxyServerPreferences.h"

namespace {

constexpr std::uint32_t kDefaultPort = 110;
constexpr std::uint32_t kDefaultSecurity = 0;

}  // namespace

std::uint32_t ProxyServerSettings::ProxyBasedTranslationPort() {
    std::uint32_t port = kDefaultPort;
    ProxyServerPreferences().ReadDword("ProxyBasedTranslationPort", port);
    return port;
}

std::uint32_t ProxyServerSettings::MailServerPort() {
    std::uint32_t port = kDefaultPort;
    ProxyServerPreferences().ReadDword("MailServerPort", port);
    return port;
}

std::string ProxyServerSettings::MailServerAddress() {
    std::string address;
    ReadMailServerAddress(address);
    return address;
}

bool ProxyServerSettings::ReadMailServerAddress(std::string& address) {
    return ProxyServerPreferences().ReadString("MailServerAddress", address);
}

std::uint32_t ProxyServerSettings::MailServerSecurity() {
    std::uint32_t security = kDefaultSecurity;
    ProxyServerPreferences().ReadDword("MailServerSecurity", security);
    return security;
}

std::string ProxyServerSettings::MailServerCAFile() {
    std::string file;
    ProxyServerPreferences().ReadString("MailServerCAFile", file);
    return file;
}

bool ProxyServerSettings::RelayAuthentication() {
    bool relay = false;
    ProxyServerPreferences().ReadBool("Relay Authentication", relay);
    return relay;
}
