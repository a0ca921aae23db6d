#include "integration/RelaySettings.h"

#include <cstdlib>
#include <filesystem>

#include "platform/Registry.h"

namespace {
constexpr const char* kProxyServerKey = "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences";

void SetProxyServerValue(const char* name, win32::DWORD type, const void* data, win32::DWORD size)
{
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, kProxyServerKey, 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_READ | win32::KEY_WRITE, nullptr, &key, nullptr) == win32::ERROR_SUCCESS) {
        win32::RegSetValueEx(key, name, 0, type, static_cast<const win32::BYTE*>(data), size);
        win32::RegCloseKey(key);
    }
}
}  // namespace

ScopedRegistry::ScopedRegistry()
{
    if (const char* old = std::getenv("VUVED_REGISTRY_DIR")) {
        previous = old;
        hadPrevious = true;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "relayregXXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        folder = pattern;
        ::setenv("VUVED_REGISTRY_DIR", folder.c_str(), 1);
    }
}

ScopedRegistry::~ScopedRegistry()
{
    if (hadPrevious) {
        ::setenv("VUVED_REGISTRY_DIR", previous.c_str(), 1);
    } else {
        ::unsetenv("VUVED_REGISTRY_DIR");
    }
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

void WriteProxyServerString(const char* name, const std::string& value)
{
    SetProxyServerValue(name, win32::REG_SZ, value.c_str(), static_cast<win32::DWORD>(value.size() + 1));
}

void WriteProxyServerDword(const char* name, win32::DWORD value)
{
    SetProxyServerValue(name, win32::REG_DWORD, &value, sizeof value);
}

void WriteProxyServerSettings(const std::string& mailServerAddress, win32::DWORD mailServerPort,
                              win32::DWORD listenPort)
{
    WriteProxyServerString("MailServerAddress", mailServerAddress);
    WriteProxyServerDword("MailServerPort", mailServerPort);
    WriteProxyServerDword("ProxyBasedTranslationPort", listenPort);
}
