// The settings a relay test needs, in a registry of its own (a temporary folder for the hive files, the
// process's registry folder while the object lives) and the proxy-server values written into it.
#pragma once

#include <string>

#include "platform/Win32Types.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

// Relay tests name the registry folder of their own after what it is for.
using ScopedRegistry = TempRegistryFolder;

inline void WriteProxyServerString(const char* name, const std::string& value) {
    raw::Set(raw::kProxyKey, name, win32::REG_SZ, value + '\0');
}

inline void WriteProxyServerDword(const char* name, win32::DWORD value) {
    raw::SetDword(raw::kProxyKey, name, value);
}

// Writes the values of the "Proxy Server Preferences" key; listenPort 0 lets the system choose the port.
inline void WriteProxyServerSettings(const std::string& mailServerAddress, win32::DWORD mailServerPort,
                                     win32::DWORD listenPort) {
    WriteProxyServerString("MailServerAddress", mailServerAddress);
    WriteProxyServerDword("MailServerPort", mailServerPort);
    WriteProxyServerDword("ProxyBasedTranslationPort", listenPort);
}
