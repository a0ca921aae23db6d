// rules export / import / show / match: the stored rule set ("Mailer Rule" in the Mailer Rule key).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>
#include <string>

#include "mail/Email.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "rules/CharsetMessageRule.h"
#include "rules/ContentTypeMessageRule.h"
#include "rules/MailSizeRule.h"
#include "rules/PriorityMessageRule.h"
#include "rules/RuleList.h"
#include "rules/RuleTextImport.h"
#include "rules/WordRule.h"
#include "settings/SettingCatalog.h"
#include "tools/vuvedctl/Commands.h"

namespace {

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

// Names the first stored pair that matches each mail file (as retrieved: header, empty line, body), or "-".
int MatchRules(const Arguments& files) {
    RuleList rules;
    rules.LoadRules(ReadRuleText());
    for (const std::string& path : files) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "vuvedctl: cannot read %s\n", path.c_str());
            return kExitFailed;
        }
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(std::move(line));
        }
        Email mail;
        mail.SetMail(std::span<const std::string>(lines));
        mail.UpdateSize();
        const RulePair* matched = nullptr;
        for (const std::unique_ptr<RulePair>& pair : rules.pairs) {
            if (pair->Match(mail)) {
                matched = pair.get();
                break;
            }
        }
        std::printf("%s: %s\n", path.c_str(), matched ? win32::AnsiToUtf8(matched->name).c_str() : "-");
    }
    return kExitOk;
}

}  // namespace

int RulesCommand(const Arguments& arguments) {
    static const char* const usage =
        "usage: vuvedctl rules show          describes the stored rules pair by pair\n"
        "       vuvedctl rules export        prints the stored rule text (UTF-8)\n"
        "       vuvedctl rules import FILE   stores the rule text of FILE (UTF-8)\n"
        "       vuvedctl rules match MAIL... names the first pair that matches each mail file (- for none)\n";
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
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        RuleList rules;
        const RuleTextImport checked = ImportRuleText(text, rules);
        if (checked.outcome == RuleTextImport::kNotText) {
            std::fprintf(stderr, "vuvedctl: bad value: %s is not UTF-8 text\n", arguments[1].c_str());
            return kExitBadValue;
        }
        if (checked.outcome == RuleTextImport::kMalformed) {
            std::fprintf(stderr,
                         "vuvedctl: bad value: %s is not a rule text (readable up to pair %zu); nothing stored\n",
                         arguments[1].c_str(), checked.pairsRead);
            return kExitBadValue;
        }
        if (!WriteRuleText(checked.ansi)) {
            std::fprintf(stderr, "vuvedctl: cannot write the rules in %s\n", win32::RegistryFolder().c_str());
            return kExitFailed;
        }
        return kExitOk;
    }
    if (arguments[0] == "match" && arguments.size() >= 2) {
        return MatchRules(Arguments(arguments.begin() + 1, arguments.end()));
    }
    return UsageError(usage);
}
