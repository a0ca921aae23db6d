// Reads the registry the way the tests inspect what registration left behind.
#pragma once

#include <optional>
#include <string>

#include "platform/Registry.h"

inline bool KeyExists(win32::HKEY hive, const std::string& path) {
    win32::HKEY key = nullptr;
    if (win32::RegOpenKeyEx(hive, path.c_str(), 0, win32::KEY_READ, &key) != win32::ERROR_SUCCESS) {
        return false;
    }
    win32::RegCloseKey(key);
    return true;
}

// A REG_SZ value (name null: the default value); nothing when absent or of another type.
inline std::optional<std::string> ReadText(win32::HKEY hive, const std::string& path, const char* name = nullptr) {
    win32::HKEY key = nullptr;
    if (win32::RegOpenKeyEx(hive, path.c_str(), 0, win32::KEY_READ, &key) != win32::ERROR_SUCCESS) {
        return std::nullopt;
    }
    char data[1024] = {};
    win32::DWORD size = sizeof(data) - 1;
    win32::DWORD type = 0;
    const win32::LONG result = win32::RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<win32::BYTE*>(data), &size);
    win32::RegCloseKey(key);
    if (result != win32::ERROR_SUCCESS || type != win32::REG_SZ) {
        return std::nullopt;
    }
    return std::string(data);
}

inline void WriteText(win32::HKEY hive, const std::string& path, const char* name, const std::string& text) {
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(hive, path.c_str(), 0, nullptr, win32::REG_OPTION_NON_VOLATILE, win32::KEY_ALL_ACCESS,
                              nullptr, &key, nullptr) == win32::ERROR_SUCCESS) {
        win32::RegSetValueEx(key, name, 0, win32::REG_SZ, reinterpret_cast<const win32::BYTE*>(text.c_str()),
                             static_cast<win32::DWORD>(text.size() + 1));
        win32::RegCloseKey(key);
    }
}
