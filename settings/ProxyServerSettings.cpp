#include "settings/ProxyServerSettings.h"

#include "settings/ProxyServerPreferences.h"

namespace {

constexpr std::uint32_t kDefaultPort = 110;

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
