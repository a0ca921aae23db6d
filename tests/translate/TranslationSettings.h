// Writing the settings the translation tests need into the test's own registry (see ScopedRegistry): the engine
// preferences key of the translation components, and the "Mailer Rule" key of the server.
#pragma once

#include <string>

#include "settings/RawRegistry.h"

constexpr const char* kEnginePreferencesKey = "Software\\Norvale\\RiloEJTransPref";
constexpr const char* kMailerRuleKey = raw::kRuleKey;

inline void WriteRegistryString(const char* key, const char* name, const std::string& value) {
    raw::Set(key, name, win32::REG_SZ, value + '\0');
}

inline void WriteRegistryDword(const char* key, const char* name, win32::DWORD value) {
    raw::SetDword(key, name, value);
}

// The engine preferences that select the command translator running `command`.
inline void UseCommandEngine(const std::string& command, win32::DWORD timeoutSeconds = 60) {
    WriteRegistryString(kEnginePreferencesKey, "Engine", "command");
    WriteRegistryString(kEnginePreferencesKey, "Command", command);
    WriteRegistryDword(kEnginePreferencesKey, "TimeoutSeconds", timeoutSeconds);
}
