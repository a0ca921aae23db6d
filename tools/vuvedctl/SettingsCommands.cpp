// settings show / settings set: the values of the server's two settings keys and of the engine's preferences key,
// with their types and defaults, read and written directly in the current user's registry hive.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "tools/vuvedctl/Commands.h"

namespace {

struct Setting {
    const char* key;  // below HKEY_CURRENT_USER
    const char* name;
    win32::DWORD type;
    const char* defaultText;
    win32::DWORD maximum;  // for REG_DWORD values
    const char* meaning;
};

constexpr const char* kProxyKey = "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences";
constexpr const char* kRuleKey = "Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule";
constexpr const char* kEngineKey = "Software\\Norvale\\RiloEJTransPref";

constexpr Setting kSettings[] = {
    {kProxyKey, "MailServerAddress", win32::REG_SZ, "(empty)", 0,
     "host name or dotted address of the real POP3 server"},
    {kProxyKey, "MailServerPort", win32::REG_DWORD, "110", 65535, "port of the real POP3 server"},
    {kProxyKey, "ProxyBasedTranslationPort", win32::REG_DWORD, "110", 65535,
     "port on 127.0.0.1 where the mail client connects"},
    {kProxyKey, "MailServerSecurity", win32::REG_DWORD, "0", 2,
     "to the real POP3 server: 0 plain, 1 TLS (port 995), 2 STLS"},
    {kProxyKey, "MailServerCAFile", win32::REG_SZ, "(empty)", 0,
     "CA certificate file trusted besides the system's CAs"},
    {kRuleKey, "AutoRecognize", win32::REG_DWORD, "1", 1, "translate mails recognised as English (0 or 1)"},
    {kRuleKey, "AllMail", win32::REG_DWORD, "0", 1, "translate every eligible mail, without rules (0 or 1)"},
    {kRuleKey, "Mail Limit Size", win32::REG_DWORD, "32", 0xFFFFFFFF, "largest mail translated, in KiB"},
    {kRuleKey, "English Rate", win32::REG_DWORD, "50", 100, "smallest English rate (percent) counted as English"},
    {kEngineKey, "Engine", win32::REG_SZ, "dictionary if installed", 0,
     "dictionary, command, openai, libretranslate or deepl"},
    {kEngineKey, "DictionaryPath", win32::REG_SZ, "(the installed dictionary)", 0,
     "an EDICT file, or FreeDict files without .index / .dict.dz"},
    {kEngineKey, "Command", win32::REG_SZ, "(empty)", 0, "translator command for the command engine"},
    {kEngineKey, "Endpoint", win32::REG_SZ, "(the service's)", 0,
     "URL of the openai / libretranslate / deepl service (deepl: https://api-free.deepl.com)"},
    {kEngineKey, "Model", win32::REG_SZ, "(empty)", 0, "model name for the openai engine"},
    {kEngineKey, "ApiKeyVariable", win32::REG_SZ, "OPENAI_API_KEY", 0,
     "environment variable holding the API key (deepl: DEEPL_AUTH_KEY)"},
    {kEngineKey, "TimeoutSeconds", win32::REG_DWORD, "60", 3600, "time limit of one translation"},
};

const char* const kEngines[] = {"dictionary", "command", "openai", "libretranslate", "deepl"};

// The value as text, or nothing when it is absent (or of another type, which the server treats as absent).
std::optional<std::string> ReadSetting(const Setting& setting) {
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

bool WriteSetting(const Setting& setting, const std::string& text) {
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, setting.key, 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_WRITE, nullptr, &key, nullptr) != win32::ERROR_SUCCESS) {
        return false;
    }
    win32::LONG result;
    if (setting.type == win32::REG_DWORD) {
        const win32::DWORD number = static_cast<win32::DWORD>(std::strtoul(text.c_str(), nullptr, 10));
        result = win32::RegSetValueEx(key, setting.name, 0, win32::REG_DWORD,
                                      reinterpret_cast<const win32::BYTE*>(&number), sizeof(number));
    } else {
        const std::string ansi = win32::Utf8ToAnsi(text);
        result = win32::RegSetValueEx(key, setting.name, 0, win32::REG_SZ,
                                      reinterpret_cast<const win32::BYTE*>(ansi.c_str()),
                                      static_cast<win32::DWORD>(ansi.size() + 1));
    }
    win32::RegCloseKey(key);
    return result == win32::ERROR_SUCCESS;
}

// Empty when the text fits the setting; else why not.
std::string CheckValue(const Setting& setting, const std::string& text) {
    if (setting.type == win32::REG_DWORD) {
        const bool isPort = std::string(setting.name).find("Port") != std::string::npos;
        const unsigned long long minimum = isPort ? 1 : 0;
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10 ||
            std::strtoull(text.c_str(), nullptr, 10) > setting.maximum ||
            std::strtoull(text.c_str(), nullptr, 10) < minimum) {
            return std::string(isPort ? "a port" : "a whole number") + " from " + std::to_string(minimum) + " to " +
                   std::to_string(setting.maximum) + " is expected";
        }
        return {};
    }
    if (!win32::IsValidUtf8(text)) {
        return "the text is not valid UTF-8";
    }
    if (std::string(setting.name) == "Engine" && !text.empty()) {
        for (const char* engine : kEngines) {
            if (text == engine) {
                return {};
            }
        }
        return "one of dictionary, command, openai, libretranslate, deepl is expected";
    }
    return {};
}

const char* TypeName(win32::DWORD type) { return type == win32::REG_DWORD ? "REG_DWORD" : "REG_SZ"; }

int Show() {
    const char* shownKey = nullptr;
    for (const Setting& setting : kSettings) {
        if (shownKey != setting.key) {
            shownKey = setting.key;
            std::printf("%sHKEY_CURRENT_USER\\%s\n", setting.key == kProxyKey ? "" : "\n", setting.key);
        }
        const std::optional<std::string> value = ReadSetting(setting);
        const std::string shown = value ? (setting.type == win32::REG_SZ ? "\"" + *value + "\"" : *value) : "(not set)";
        std::printf("  %-26s %-9s %-24s default %s  -- %s\n", setting.name, TypeName(setting.type), shown.c_str(),
                    setting.defaultText, setting.meaning);
    }
    return kExitOk;
}

}  // namespace

int SettingsCommand(const Arguments& arguments) {
    static const char* const usage =
        "usage: vuvedctl settings show\n"
        "       vuvedctl settings set NAME VALUE\n"
        "Shows or sets the server's settings (Proxy Server Preferences, Mailer Rule) and the translation\n"
        "engine's preferences. The server reads them when it needs them: a change applies at once.\n";
    if (WantsHelp(arguments, usage)) {
        return kExitOk;
    }
    if (arguments.empty()) {
        return UsageError(usage);
    }
    if (arguments[0] == "show" && arguments.size() == 1) {
        return Show();
    }
    if (arguments[0] == "set" && arguments.size() == 3) {
        for (const Setting& setting : kSettings) {
            if (arguments[1] != setting.name) {
                continue;
            }
            if (const std::string problem = CheckValue(setting, arguments[2]); !problem.empty()) {
                std::fprintf(stderr, "vuvedctl: bad value \"%s\" for %s: %s\n", arguments[2].c_str(), setting.name,
                             problem.c_str());
                return kExitBadValue;
            }
            if (!WriteSetting(setting, arguments[2])) {
                std::fprintf(stderr, "vuvedctl: cannot write %s in %s\n", setting.name,
                             win32::RegistryFolder().c_str());
                return kExitFailed;
            }
            return kExitOk;
        }
        std::fprintf(stderr, "vuvedctl: unknown setting \"%s\" (see vuvedctl settings show)\n", arguments[1].c_str());
        return kExitBadValue;
    }
    return UsageError(usage);
}
