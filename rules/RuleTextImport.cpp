#include "rules/RuleTextImport.h"

#include "platform/CodePage.h"

namespace {

// The rule text's items end with LF; a file saved with CR LF line ends is read with LF, or the byte after a
// word's length line would be the LF and the word would come out shifted by one.
std::string WithLfLineEnds(std::string_view text) {
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') {
            lf += text[i];
        }
    }
    return lf;
}

}  // namespace

RuleTextImport ImportRuleText(std::string_view text, RuleList& rules) {
    RuleTextImport result;
    const std::string lf = WithLfLineEnds(text);
    std::string_view utf8 = lf;
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
