// rules export / import / show: the stored rule set ("Mailer Rule" in the Mailer Rule key).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "rules/CharsetMessageRule.h"
#include "rules/ContentTypeMessageRule.h"
#include "rules/MailSizeRule.h"
#include "rules/PriorityMessageRule.h"
#include "rules/RuleList.h"
#include "rules/WordRule.h"
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

const char* WordField(std::int32_t type) {
    switch (type) {
    case Rule::kWordContainSubject:
        return "Subject";
    case Rule::kUserContainFrom:
        return "From";
    case Rule::kWordContainMessage:
        return "a body line";
    case Rule::kUserContainTo:
        return "To";
    case Rule::kUserContainCc:
        return "Cc";
    default:
        return "?";
    }
}

const char* WordMode(std::int32_t mode) {
    switch (mode) {
    case WordRule::kContains:
        return "contains";
    case WordRule::kDoesNotContain:
        return "does not contain";
    case WordRule::kEquals:
        return "is";
    case WordRule::kDiffers:
        return "is not";
    case WordRule::kBeginsWith:
        return "begins with";
    case WordRule::kEndsWith:
        return "ends with";
    default:
        return "(no match mode: never matches)";
    }
}

std::string EqualsOrNot(std::int32_t op) {
    return op == Rule::kFirst ? "is" : op == Rule::kSecond ? "is not" : "(no operator: never matches)";
}

std::string Describe(const Rule& rule) {
    if (const auto* word = dynamic_cast<const WordRule*>(&rule)) {
        return std::string(WordField(rule.GetRuleType())) + " " + WordMode(word->GetMatchMode()) + " \"" +
               win32::AnsiToUtf8(word->GetText()) + "\"" + (word->GetCaseSensitive() ? "" : ", ignoring case") +
               (word->GetWidthSensitive() ? "" : ", ignoring full/half width");
    }
    if (const auto* type = dynamic_cast<const ContentTypeMessageRule*>(&rule)) {
        return "MIME type " + EqualsOrNot(type->op) + " code " + std::to_string(type->contentType) +
               (type->contentType == 1 ? " (text/plain)" : "");
    }
    if (const auto* charset = dynamic_cast<const CharsetMessageRule*>(&rule)) {
        return "charset " + EqualsOrNot(charset->op) + " code " + std::to_string(charset->charset);
    }
    if (const auto* size = dynamic_cast<const MailSizeRule*>(&rule)) {
        const char* comparison = size->op == Rule::kFirst    ? "larger than"
                                 : size->op == Rule::kSecond ? "smaller than"
                                                             : "(no operator: never matches)";
        return std::string("size ") + comparison + " " + std::to_string(size->limit) + " octets";
    }
    if (const auto* priority = dynamic_cast<const PriorityMessageRule*>(&rule)) {
        return "X-Priority level is " + std::to_string(priority->level);
    }
    return "unknown rule";
}

std::string WithLfLineEnds(const std::string& text) {
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') {
            lf += text[i];
        }
    }
    return lf;
}

int ShowRules() {
    const std::string text = ReadRuleText();
    RuleList rules;
    const bool complete = rules.LoadRules(text);
    if (rules.pairs.empty()) {
        std::printf("No rules: only the settings decide which mails are translated.\n");
    }
    int number = 0;
    for (const std::unique_ptr<RulePair>& pair : rules.pairs) {
        std::printf("Pair %d \"%s\": translate when %s of:\n", ++number, win32::AnsiToUtf8(pair->name).c_str(),
                    pair->combination == RulePair::kAny ? "any" : "all");
        for (const std::unique_ptr<Rule>& rule : pair->rules) {
            if (rule) {
                std::printf("  - %s%s\n", Describe(*rule).c_str(),
                            rule->IsValid() ? "" : "  [incomplete: never matches]");
            }
        }
    }
    if (!complete) {
        std::fprintf(stderr, "vuvedctl: the stored rule text is damaged after pair %d\n", number);
        return kExitBadValue;
    }
    return kExitOk;
}

}  // namespace

int RulesCommand(const Arguments& arguments) {
    static const char* const usage =
        "usage: vuvedctl rules show          describes the stored rules pair by pair\n"
        "       vuvedctl rules export        prints the stored rule text (UTF-8)\n"
        "       vuvedctl rules import FILE   stores the rule text of FILE (UTF-8)\n";
    if (WantsHelp(arguments, usage)) {
        return kExitOk;
    }
    if (arguments.empty()) {
        return UsageError(usage);
    }
    if (arguments[0] == "show" && arguments.size() == 1) {
        return ShowRules();
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
        // The rule text's items end with LF; a file saved with CR LF line ends is stored with LF, or the byte
        // after a word's length line would be the LF and the word would come out shifted by one.
        text = WithLfLineEnds(text);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (!win32::IsValidUtf8(text) || text.find('\0') != std::string::npos) {
            std::fprintf(stderr, "vuvedctl: bad value: %s is not UTF-8 text\n", arguments[1].c_str());
            return kExitBadValue;
        }
        const std::string ansi = win32::Utf8ToAnsi(text);
        RuleList rules;
        if (!rules.LoadRules(ansi)) {
            std::fprintf(stderr, "vuvedctl: bad value: %s is not a rule text (readable up to pair %zu); nothing stored\n",
                         arguments[1].c_str(), rules.pairs.size());
            return kExitBadValue;
        }
        if (!WriteRuleText(ansi)) {
            std::fprintf(stderr, "vuvedctl: cannot write the rules in %s\n", win32::RegistryFolder().c_str());
            return kExitFailed;
        }
        return kExitOk;
    }
    return UsageError(usage);
}
