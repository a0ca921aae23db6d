#include "rules/WordRule.h"

#include "mail/ShiftJisText.h"
#include "rules/RuleTextReader.h"
#include "rules/RuleTextWriter.h"

bool WordRule::ReadBody(RuleTextReader& in) {
    std::string ignored;
    if (!in.Opening() || !in.Token(ignored) || !in.Opening() || !ReadBaseBlock(in)) {
        return false;
    }
    std::int32_t length = 0;
    std::int32_t mode = 0;
    if (!in.Number(length) || !in.CountedText(length, text) || !in.Number(mode) || !in.Bool(caseSensitive) ||
        !in.Bool(widthSensitive)) {
        return false;
    }
    matchMode = mode;
    return in.Closing() && in.Closing();
}

void WordRule::WriteRule(RuleTextWriter& out) const {
    out.Item(ClassName());
    out.Item("{");
    out.Item("WordRule");
    out.Item("{");
    WriteBaseBlock(out);
    out.CountedText(text);
    out.Number(matchMode);
    out.Bool(caseSensitive);
    out.Bool(widthSensitive);
    out.Item("}");
    out.Item("}");
}

bool WordRule::MatchText(std::string_view subject) const {
    if (matchMode == kNone) {
        return false;
    }
    std::string haystack(subject);
    std::string needle(text);
    if (!caseSensitive) {
        haystack = ShiftJisText::FoldCase(haystack);
        needle = ShiftJisText::FoldCase(needle);
    }
    if (!widthSensitive) {
        haystack = ShiftJisText::ToFullWidth(haystack);
        needle = ShiftJisText::ToFullWidth(needle);
    }
    const std::size_t found = haystack.find(needle);
    switch (matchMode) {
        case kContains:
            return found != std::string::npos;
        case kDoesNotContain:
            return found == std::string::npos;
        case kEquals:
            return haystack == needle;
        case kDiffers:
            return haystack != needle;
        case kBeginsWith:
            return found == 0;
        case kEndsWith:
            // Judged by the first occurrence only: it must be the one that ends the text.
            return found != std::string::npos && found + needle.size() == haystack.size();
        default:
            return false;
    }
}
