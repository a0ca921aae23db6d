#include "rules/WordRule.h"

#include <algorithm>

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

WordRule::PreparedText::PreparedText(std::string prepared)
    : text(std::move(prepared)), searcher(text.begin(), text.end()) {}

std::size_t WordRule::PreparedText::Find(std::string_view haystack) const {
    if (text.empty()) {
        return 0;
    }
    // Widened text repeats a few lead bytes everywhere, which makes a plain first-byte scan slow.
    const auto found = std::search(haystack.begin(), haystack.end(), searcher);
    return found == haystack.end() ? std::string_view::npos : static_cast<std::size_t>(found - haystack.begin());
}

std::unique_ptr<WordRule::PreparedText> WordRule::Prepare() const {
    std::string prepared = text;
    if (!caseSensitive) {
        prepared = ShiftJisText::FoldCase(prepared);
    }
    if (!widthSensitive) {
        prepared = ShiftJisText::ToFullWidth(prepared);
    }
    return std::make_unique<PreparedText>(std::move(prepared));
}

bool WordRule::MatchText(std::string_view subject) const { return MatchPrepared(subject, *Prepare()); }

bool WordRule::MatchPrepared(std::string_view subject, const PreparedText& prepared) const {
    if (matchMode == kNone) {
        return false;
    }
    std::string folded;
    if (!caseSensitive) {
        folded = ShiftJisText::FoldCase(subject);
        subject = folded;
    }
    std::string widened;
    if (!widthSensitive) {
        widened = ShiftJisText::ToFullWidth(subject);
        subject = widened;
    }
    const std::string_view haystack = subject;
    const std::string_view needle = prepared.Text();
    switch (matchMode) {
        case kContains:
            return prepared.Find(haystack) != std::string_view::npos;
        case kDoesNotContain:
            return prepared.Find(haystack) == std::string_view::npos;
        case kEquals:
            return haystack == needle;
        case kDiffers:
            return haystack != needle;
        case kBeginsWith:
            return haystack.starts_with(needle);
        case kEndsWith: {
            // Judged by the first occurrence only: it must be the one that ends the text.
            const std::size_t found = prepared.Find(haystack);
            return found != std::string_view::npos && found + needle.size() == haystack.size();
        }
        default:
            return false;
    }
}
