#include "settings/SettingCatalog.h"

#include <charconv>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "settings/MailerRuleSettings.h"

namespace {

constexpr std::uint32_t kAnyNumber = 0xFFFFFFFF;

constexpr SettingDefinition kSettings[] = {
    {kProxySettingsKey, "MailServerAddress", win32::REG_SZ, "(empty)", 0, 0,
     "host name or dotted address of the real POP3 server"},
    {kProxySettingsKey, "MailServerPort", win32::REG_DWORD, "110", 1, 65535, "port of the real POP3 server"},
    {kProxySettingsKey, "ProxyBasedTranslationPort", win32::REG_DWORD, "110", 1, 65535,
     "port on 127.0.0.1 where the mail client connects"},
    {kProxySettingsKey, "MailServerSecurity", win32::REG_DWORD, "0", 0, 2,
     "to the real POP3 server: 0 plain, 1 TLS (port 995), 2 STLS"},
    {kProxySettingsKey, "MailServerCAFile", win32::REG_SZ, "(empty)", 0, 0,
     "CA certificate file trusted besides the system's CAs"},
    {kProxySettingsKey, "Relay Authentication", win32::REG_DWORD, "0", 0, 1,
     "1: the mail client may log in with CAPA and SASL AUTH (OAuth2) too"},
    {kRuleSettingsKey, "AutoRecognize", win32::REG_DWORD, "1", 0, 1, "translate mails recognised as English (0 or 1)"},
    {kRuleSettingsKey, "AllMail", win32::REG_DWORD, "0", 0, 1, "translate every eligible mail, without rules (0 or 1)"},
    {kRuleSettingsKey, "English Rate", win32::REG_DWORD, "50", 0, 100,
     "smallest English rate (percent) counted as English"},
    {kRuleSettingsKey, "Mail Limit Size", win32::REG_DWORD, "32", 0, kAnyNumber, "largest mail translated, in KiB"},
    {kRuleSettingsKey, "Modern Mail", win32::REG_DWORD, "0", 0, 1,
     "also translate multipart, HTML-only and other-charset mails (0 or 1)"},
    {kEngineSettingsKey, "Engine", win32::REG_SZ, "dictionary if installed", 0, 0,
     "dictionary, command, openai, libretranslate or deepl"},
    {kEngineSettingsKey, "DictionaryPath", win32::REG_SZ, "(the installed dictionary)", 0, 0,
     "an EDICT file, or FreeDict files without .index / .dict.dz"},
    {kEngineSettingsKey, "Command", win32::REG_SZ, "(empty)", 0, 0, "translator command for the command engine"},
    {kEngineSettingsKey, "Endpoint", win32::REG_SZ, "(the service's)", 0, 0,
     "URL of the openai / libretranslate / deepl service"},
    {kEngineSettingsKey, "Model", win32::REG_SZ, "(empty)", 0, 0, "model name for the openai engine"},
    {kEngineSettingsKey, "ApiKeyVariable", win32::REG_SZ, "OPENAI_API_KEY (deepl: DEEPL_AUTH_KEY)", 0, 0,
     "environment variable holding the API key"},
    {kEngineSettingsKey, "TimeoutSeconds", win32::REG_DWORD, "60", 0, 3600, "time limit of one translation"},
};

constexpr const char* kEngines[] = {"dictionary", "command", "openai", "libretranslate", "deepl"};

bool IsPort(const SettingDefinition& setting) { return std::strstr(setting.name, "Port") != nullptr; }

bool WriteValue(const char* keyPath, const char* name, win32::DWORD type, const void* data, win32::DWORD size) {
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, keyPath, 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_WRITE, nullptr, &key, nullptr) != win32::ERROR_SUCCESS) {
        return false;
    }
    const win32::LONG result =
        win32::RegSetValueEx(key, name, 0, type, static_cast<const win32::BYTE*>(data), size);
    win32::RegCloseKey(key);
    return result == win32::ERROR_SUCCESS;
}

bool WriteString(const char* keyPath, const char* name, std::string_view ansi) {
    const std::string terminated(ansi);
    return WriteValue(keyPath, name, win32::REG_SZ, terminated.c_str(),
                      static_cast<win32::DWORD>(terminated.size() + 1));
}

}  // namespace

std::string SettingProblem::Describe(const SettingDefinition& setting) const {
    switch (code) {
    case kOutOfRange:
        return std::string(IsPort(setting) ? "a port" : "a whole number") + " from " + std::to_string(minimum) +
               " to " + std::to_string(maximum) + " is expected";
    case kNotUtf8:
        return "the text is not valid UTF-8";
    case kNotShiftJis:
        return "the text has characters that Shift_JIS cannot hold";
    case kUnknownEngine:
        return "one of dictionary, command, openai, libretranslate, deepl is expected";
    }
    return {};
}

std::span<const SettingDefinition> SettingDefinitions() { return kSettings; }

const SettingDefinition* FindSetting(std::string_view name) {
    for (const SettingDefinition& setting : kSettings) {
        if (name == setting.name) {
            return &setting;
        }
    }
    return nullptr;
}

std::span<const char* const> EngineNames() { return kEngines; }

std::optional<SettingProblem> CheckSettingValue(const SettingDefinition& setting, std::string_view text) {
    if (setting.type == win32::REG_DWORD) {
        std::uint32_t number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            number < setting.minimum || number > setting.maximum) {
            return SettingProblem{SettingProblem::kOutOfRange, setting.minimum, setting.maximum};
        }
        return std::nullopt;
    }
    if (!win32::IsValidUtf8(text)) {
        return SettingProblem{SettingProblem::kNotUtf8};
    }
    if (text.find('\0') != std::string_view::npos || win32::AnsiToUtf8(win32::Utf8ToAnsi(text)) != text) {
        return SettingProblem{SettingProblem::kNotShiftJis};
    }
    if (std::string_view(setting.name) == "Engine" && !text.empty()) {
        for (const char* engine : kEngines) {
            if (text == engine) {
                return std::nullopt;
            }
        }
        return SettingProblem{SettingProblem::kUnknownEngine};
    }
    return std::nullopt;
}

std::optional<std::string> ReadSettingText(const SettingDefinition& setting) {
    win32::HKEY key = nullptr;
    if (win32::RegOpenKeyEx(win32::HKEY_CURRENT_USER, setting.key, 0, win32::KEY_READ, &key) != win32::ERROR_SUCCESS) {
        return std::nullopt;
    }
    win32::DWORD type = 0;
    win32::DWORD size = 0;
    std::optional<std::string> text;
    if (win32::RegQueryValueEx(key, setting.name, nullptr, &type, nullptr, &size) == win32::ERROR_SUCCESS &&
        type == setting.type) {
        std::string data(size + 1, '\0');
        if (win32::RegQueryValueEx(key, setting.name, nullptr, &type, reinterpret_cast<win32::BYTE*>(data.data()),
                                   &size) == win32::ERROR_SUCCESS) {
            if (type == win32::REG_DWORD && size == sizeof(win32::DWORD)) {
                win32::DWORD number = 0;
                std::memcpy(&number, data.data(), sizeof(number));
                text = std::to_string(number);
            } else if (type == win32::REG_SZ) {
                text = win32::AnsiToUtf8(data.c_str());
            }
        }
    }
    win32::RegCloseKey(key);
    return text;
}

bool WriteSettingText(const SettingDefinition& setting, std::string_view text) {
    if (setting.type == win32::REG_DWORD) {
        win32::DWORD number = 0;
        std::from_chars(text.data(), text.data() + text.size(), number);
        return WriteValue(setting.key, setting.name, win32::REG_DWORD, &number, sizeof(number));
    }
    return WriteString(setting.key, setting.name, win32::Utf8ToAnsi(text));
}

std::string ReadRuleText() { return MailerRuleSettings::RuleText(); }

bool WriteRuleText(std::string_view ansi) { return WriteString(kRuleSettingsKey, "Mailer Rule", ansi); }
