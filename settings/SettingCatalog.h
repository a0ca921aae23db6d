// Every setting a user may change (the server's two keys and the translation engine's preferences) with its key,
// type, default and range; the one check of a new value, and reading and writing a value as text. vuvedctl and
// the settings page both edit through here. Any thread may call; each call opens and closes its key.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Win32Types.h"

struct SettingDefinition {
    const char* key;  // below HKEY_CURRENT_USER
    const char* name;
    win32::DWORD type;  // REG_SZ or REG_DWORD
    const char* defaultText;
    std::uint32_t minimum;  // for REG_DWORD values
    std::uint32_t maximum;
    const char* meaning;
};

// Why a value does not fit its setting; `code` names the kind for a caller that words it itself.
struct SettingProblem {
    enum Code { kOutOfRange, kNotUtf8, kNotShiftJis, kUnknownEngine };
    Code code;
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;

    // In English, e.g. "a port from 1 to 65535 is expected".
    std::string Describe(const SettingDefinition& setting) const;
};

inline constexpr const char* kProxySettingsKey = "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences";
inline constexpr const char* kRuleSettingsKey = "Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule";
inline constexpr const char* kEngineSettingsKey = "Software\\Norvale\\RiloEJTransPref";

// In the order a user reads them: mail server, selection, engine.
std::span<const SettingDefinition> SettingDefinitions();
const SettingDefinition* FindSetting(std::string_view name);
// The values "Engine" accepts (besides the empty text: the installed dictionary when there is one).
std::span<const char* const> EngineNames();

// Nothing when the text (UTF-8) fits the setting.
std::optional<SettingProblem> CheckSettingValue(const SettingDefinition& setting, std::string_view text);
// The value as UTF-8 text or decimal number; nothing when absent or of another type (the server treats both as
// absent).
std::optional<std::string> ReadSettingText(const SettingDefinition& setting);
// Stores a value that passed CheckSettingValue; false when the registry cannot be written.
bool WriteSettingText(const SettingDefinition& setting, std::string_view text);

// The stored rule text ("Mailer Rule" of the Mailer Rule key), in code page 932; empty when absent.
std::string ReadRuleText();
bool WriteRuleText(std::string_view ansi);
