// settings show / settings set: the values of the server's two settings keys and of the engine's preferences key,
// with their types and defaults, read and written directly in the current user's registry hive.
#include <cstdio>
#include <optional>
#include <string>

#include "platform/Registry.h"
#include "settings/SettingCatalog.h"
#include "tools/vuvedctl/Commands.h"

namespace {

const char* TypeName(win32::DWORD type) { return type == win32::REG_DWORD ? "REG_DWORD" : "REG_SZ"; }

int Show() {
    const char* shownKey = nullptr;
    for (const SettingDefinition& setting : SettingDefinitions()) {
        if (shownKey != setting.key) {
            std::printf("%sHKEY_CURRENT_USER\\%s\n", shownKey == nullptr ? "" : "\n", setting.key);
            shownKey = setting.key;
        }
        const std::optional<std::string> value = ReadSettingText(setting);
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
        const SettingDefinition* setting = FindSetting(arguments[1]);
        if (setting == nullptr) {
            std::fprintf(stderr, "vuvedctl: unknown setting \"%s\" (see vuvedctl settings show)\n",
                         arguments[1].c_str());
            return kExitBadValue;
        }
        if (const std::optional<SettingProblem> problem = CheckSettingValue(*setting, arguments[2])) {
            std::fprintf(stderr, "vuvedctl: bad value \"%s\" for %s: %s\n", arguments[2].c_str(), setting->name,
                         problem->Describe(*setting).c_str());
            return kExitBadValue;
        }
        if (!WriteSettingText(*setting, arguments[2])) {
            std::fprintf(stderr, "vuvedctl: cannot write %s in %s\n", setting->name, win32::RegistryFolder().c_str());
            return kExitFailed;
        }
        return kExitOk;
    }
    return UsageError(usage);
}
