// Writing the settings the translation tests need into the test's own registry (see ScopedRegistry): the engine
// preferences key of the translation components, and the "Mailer Rule" key of the server.
#pragma once

#include <string>

#include "platform/Win32Types.h"

constexpr const char* kEnginePreferencesKey = "Software\\Norvale\\RiloEJTransPref";
constexpr const char* kMailerRuleKey = "Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule";

void WriteRegistryString(const char* key, const char* name, const std::string& value);
void WriteRegistryDword(const char* key, const char* name, win32::DWORD value);

// The engine preferences that select the command translator running `command`.
void UseCommandEngine(const std::string& command, win32::DWORD timeoutSeconds = 60);
