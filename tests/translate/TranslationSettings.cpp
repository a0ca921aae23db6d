#include "TranslationSettings.h"

#include "platform/Registry.h"

namespace {

win32::HKEY OpenKey(const char* path)
{
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, path, 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_READ | win32::KEY_WRITE, nullptr, &key, nullptr) != win32::ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

}  // namespace

void WriteRegistryString(const char* key, const char* name, const std::string& value)
{
    if (win32::HKEY handle = OpenKey(key)) {
        win32::RegSetValueEx(handle, name, 0, win32::REG_SZ, reinterpret_cast<const win32::BYTE*>(value.c_str()),
                             static_cast<win32::DWORD>(value.size() + 1));
        win32::RegCloseKey(handle);
    }
}

void WriteRegistryDword(const char* key, const char* name, win32::DWORD value)
{
    if (win32::HKEY handle = OpenKey(key)) {
        win32::RegSetValueEx(handle, name, 0, win32::REG_DWORD, reinterpret_cast<const win32::BYTE*>(&value),
                             sizeof value);
        win32::RegCloseKey(handle);
    }
}

void UseCommandEngine(const std::string& command, win32::DWORD timeoutSeconds)
{
    WriteRegistryString(kEnginePreferencesKey, "Engine", "command");
    WriteRegistryString(kEnginePreferencesKey, "Command", command);
    WriteRegistryDword(kEnginePreferencesKey, "TimeoutSeconds", timeoutSeconds);
}
