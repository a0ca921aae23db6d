#include "integration/RelaySettings.h"

#include <cstdlib>
#include <filesystem>

#include "platform/Registry.h"

namespace {
constexpr const char* kProxyServerKey = "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences";

win32::HKEY OpenProxyServerKey()
{
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, kProxyServerKey, 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_READ | win32::KEY_WRITE, nullptr, &key, nullptr) != win32::ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
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
    if (win32::HKEY key = OpenProxyServerKey()) {
        win32::RegSetValueEx(key, name, 0, win32::REG_SZ, reinterpret_cast<const win32::BYTE*>(value.c_str()),
                             static_cast<win32::DWORD>(value.size() + 1));
        win32::RegCloseKey(key);
    }
}

void WriteProxyServerDword(const char* name, win32::DWORD value)
{
    if (win32::HKEY key = OpenProxyServerKey()) {
        win32::RegSetValueEx(key, name, 0, win32::REG_DWORD, reinterpret_cast<const win32::BYTE*>(&value),
                             sizeof value);
        win32::RegCloseKey(key);
    }
}

void WriteProxyServerSettings(const std::string& mailServerAddress, win32::DWORD mailServerPort,
                              win32::DWORD listenPort)
{
    WriteProxyServerString("MailServerAddress", mailServerAddress);
    WriteProxyServerDword("MailServerPort", mailServerPort);
    WriteProxyServerDword("ProxyBasedTranslationPort", listenPort);
}
