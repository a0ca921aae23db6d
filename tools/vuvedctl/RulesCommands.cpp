// rules export / import / show: the stored rule set ("Mailer Rule" in the Mailer Rule key).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "tools/vuvedctl/Commands.h"

namespace {

constexpr const char* kRuleKey = "Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule";
constexpr const char* kRuleValue = "Mailer Rule";

std::string ReadRuleText() {
    win32::HKEY key = nullptr;
    if (win32::RegOpenKeyEx(win32::HKEY_CURRENT_USER, kRuleKey, 0, win32::KEY_READ, &key) != win32::ERROR_SUCCESS) {
        return {};
    }
    win32::DWORD type = 0;
    win32::DWORD size = 0;
    std::string text;
    if (win32::RegQueryValueEx(key, kRuleValue, nullptr, &type, nullptr, &size) == win32::ERROR_SUCCESS &&
        type == win32::REG_SZ) {
        std::string data(size + 1, '\0');
        if (win32::RegQueryValueEx(key, kRuleValue, nullptr, &type, reinterpret_cast<win32::BYTE*>(data.data()),
                                   &size) == win32::ERROR_SUCCESS) {
            text = data.c_str();
        }
    }
    win32::RegCloseKey(key);
    return text;
}

bool WriteRuleText(const std::string& ansi) {
    win32::HKEY key = nullptr;
    if (win32::RegCreateKeyEx(win32::HKEY_CURRENT_USER, kRuleKey, 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                              win32::KEY_WRITE, nullptr, &key, nullptr) != win32::ERROR_SUCCESS) {
        return false;
    }
    const win32::LONG result =
        win32::RegSetValueEx(key, kRuleValue, 0, win32::REG_SZ, reinterpret_cast<const win32::BYTE*>(ansi.c_str()),
                             static_cast<win32::DWORD>(ansi.size() + 1));
    win32::RegCloseKey(key);
    return result == win32::ERROR_SUCCESS;
}

}  // namespace

int RulesCommand(const Arguments& arguments) {
    static const char* const usage =
        "usage: vuvedctl rules export        prints the stored rule text (UTF-8)\n"
        "       vuvedctl rules import FILE   stores the rule text of FILE (UTF-8)\n";
    if (arguments.empty()) {
        std::fprintf(stderr, "%s", usage);
        return kExitUsage;
    }
    if (arguments[0] == "--help" || arguments[0] == "-h") {
        std::printf("%s", usage);
        return kExitOk;
    }
    if (arguments[0] == "export" && arguments.size() == 1) {
        std::printf("%s\n", win32::AnsiToUtf8(ReadRuleText()).c_str());
        return kExitOk;
    }
    if (arguments[0] == "import" && arguments.size() == 2) {
        std::ifstream file(arguments[1], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "vuvedctl: cannot read %s\n", arguments[1].c_str());
            return kExitFailed;
        }
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (!win32::IsValidUtf8(text) || text.find('\0') != std::string::npos) {
            std::fprintf(stderr, "vuvedctl: bad value: %s is not UTF-8 text\n", arguments[1].c_str());
            return kExitBadValue;
        }
        if (!WriteRuleText(win32::Utf8ToAnsi(text))) {
            std::fprintf(stderr, "vuvedctl: cannot write the rules in %s\n", win32::RegistryFolder().c_str());
            return kExitFailed;
        }
        return kExitOk;
    }
    std::fprintf(stderr, "%s", usage);
    return kExitUsage;
}
