#include "rules/RuleTextImport.h"

#include "platform/CodePage.h"

RuleTextImport ImportRuleText(std::string_view utf8, RuleList& rules) {
    RuleTextImport result;
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r')) {
        utf8.remove_suffix(1);
    }
    rules.Clear();
    if (!win32::IsValidUtf8(utf8) || utf8.find('\0') != std::string_view::npos) {
        result.outcome = RuleTextImport::kNotText;
        return result;
    }
    result.ansi = win32::Utf8ToAnsi(utf8);
    if (!rules.LoadRules(result.ansi)) {
        result.outcome = RuleTextImport::kMalformed;
    }
    result.pairsRead = rules.pairs.size();
    return result;
}
