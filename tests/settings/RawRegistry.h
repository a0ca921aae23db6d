// Sets and reads registry values directly (below HKEY_CURRENT_USER unless told otherwise), to prepare and inspect
// what the settings classes and the registration find and leave behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Registry.h"

namespace raw {

inline constexpr const char* kProxyKey = "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences";
inline constexpr const char* kRuleKey = "Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule";

struct Value {
    win32::DWORD type;
    std::string data;
    bool operator==(const Value&) const = default;
};

inline bool Set(const std::string& keyPath, const char* name, win32::DWORD type, const std::string& data,
                win32::HKEY hive = win32::HKEY_CURRENT_USER) {
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(hive, keyPath.c_str(), 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_ALL_ACCESS, nullptr, &key, nullptr) != win32::ERROR_SUCCESS) {
        return false;
    }
    const bool set = win32::RegSetValueEx(key, name, 0, type, reinterpret_cast<const win32::BYTE*>(data.data()),
                                          static_cast<win32::DWORD>(data.size())) == win32::ERROR_SUCCESS;
    win32::RegCloseKey(key);
    return set;
}

inline std::string Dword(std::uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

inline bool SetDword(const char* keyPath, const char* name, std::uint32_t value) {
    return Set(keyPath, name, win32::REG_DWORD, Dword(value));
}

inline std::optional<Value> Get(const std::string& keyPath, const char* name,
                                win32::HKEY hive = win32::HKEY_CURRENT_USER) {
    win32::HKEY key = nullptr;
    if (win32::RegOpenKeyEx(hive, keyPath.c_str(), 0, win32::KEY_READ, &key) != win32::ERROR_SUCCESS) {
        return std::nullopt;
    }
    Value value{0, std::string(1 << 16, '\0')};  // larger than any value the tests write
    auto size = static_cast<win32::DWORD>(value.data.size());
    auto* bytes = reinterpret_cast<win32::BYTE*>(value.data.data());
    const bool read =
        win32::RegQueryValueEx(key, name, nullptr, &value.type, bytes, &size) == win32::ERROR_SUCCESS;
    win32::RegCloseKey(key);
    value.data.resize(size);
    return read ? std::optional<Value>(value) : std::nullopt;
}

}  // namespace raw

// In the words of the registration tests: hive first, texts as REG_SZ (name null: the default value).
inline bool KeyExists(win32::HKEY hive, const std::string& path) {
    win32::HKEY key = nullptr;
    const bool exists =
        win32::RegOpenKeyEx(hive, path.c_str(), 0, win32::KEY_READ, &key) == win32::ERROR_SUCCESS;
    return exists && win32::RegCloseKey(key) == win32::ERROR_SUCCESS;
}
inline std::optional<std::string> ReadText(win32::HKEY hive, const std::string& path, const char* name = nullptr) {
    const std::optional<raw::Value> value = raw::Get(path, name, hive);
    return value && value->type == win32::REG_SZ ? std::optional<std::string>(value->data.c_str()) : std::nullopt;
}
inline void WriteText(win32::HKEY hive, const std::string& path, const char* name, const std::string& text) {
    raw::Set(path, name, win32::REG_SZ, text + '\0', hive);
}
