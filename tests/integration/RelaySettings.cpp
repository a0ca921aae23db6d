#include "integration/RelaySettings.h"

#include "settings/RawRegistry.h"

void WriteProxyServerString(const char* name, const std::string& value)
{
    raw::Set(raw::kProxyKey, name, win32::REG_SZ, value + '\0');
}

void WriteProxyServerDword(const char* name, win32::DWORD value)
{
    raw::SetDword(raw::kProxyKey, name, value);
}

void WriteProxyServerSettings(const std::string& mailServerAddress, win32::DWORD mailServerPort,
                              win32::DWORD listenPort)
{
    WriteProxyServerString("MailServerAddress", mailServerAddress);
    WriteProxyServerDword("MailServerPort", mailServerPort);
    WriteProxyServerDword("ProxyBasedTranslationPort", listenPort);
}
