#include "modernmail/LineWrapper.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace modernmail {
namespace {

int CharacterWidth(UChar32 c)
{
    if (c < 0x0300) {  // Latin and its punctuation, before the first combining mark
        return 1;
    }
    const int8_t type = u_charType(c);
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_FORMAT_CHAR) {
        return 0;
    }
    const int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

int Columns(const icu::UnicodeString& text, int32_t start, int32_t end)
{
    int width = 0;
    for (int32_t at = start; at < end;) {
        const UChar32 c = text.char32At(at);
        width += CharacterWidth(c);
        at += U16_LENGTH(c);
    }
    return width;
}

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// The end of the text without its trailing blanks.
int32_t TrimmedEnd(const icu::UnicodeString& text, int32_t start, int32_t end)
{
    while (end > start && IsBlank(text.charAt(end - 1))) {
        --end;
    }
    return end;
}

std::string Utf8(const icu::UnicodeString& text, int32_t start, int32_t end)
{
    std::string utf8;
    text.tempSubStringBetween(start, end).toUTF8String(utf8);
    return utf8;
}

}  // namespace

LineWrapper::LineWrapper()
{
    UErrorCode status = U_ZERO_ERROR;
    lineBreaks.reset(icu::BreakIterator::createLineInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        lineBreaks.reset();
    }
}

LineWrapper::~LineWrapper() = default;

int LineWrapper::Width(std::string_view utf8)
{
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    return Columns(text, 0, text.length());
}

std::vector<std::string> LineWrapper::Wrap(std::string_view utf8, int columns, bool onlyAtBlanks)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from <= utf8.size()) {
        const std::size_t lineEnd = std::min(utf8.find('\n', from), utf8.size());
        std::string_view piece = utf8.substr(from, lineEnd - from);
        if (!piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
        }
        const icu::UnicodeString text =
            icu::UnicodeString::fromUTF8(icu::StringPiece(piece.data(), static_cast<int32_t>(piece.size())));
        if (lineBreaks == nullptr || text.isEmpty()) {
            lines.push_back(Utf8(text, 0, TrimmedEnd(text, 0, text.length())));
        } else {
            lineBreaks->setText(text);
            int32_t lineStart = 0;
            int32_t fitted = 0;  // the last break that still fits the line
            int fittedWidth = 0;  // columns from lineStart to fitted
            for (int32_t at = lineBreaks->following(0); at != icu::BreakIterator::DONE; at = lineBreaks->next()) {
                if (onlyAtBlanks && at < text.length() && !IsBlank(text.charAt(at - 1))) {
                    continue;
                }
                const int segment = Columns(text, fitted, at);
                // Blanks at the end of a line are dropped, so they need no room; each takes one column.
                const int width = fittedWidth + segment - (at - TrimmedEnd(text, lineStart, at));
                if (fitted > lineStart && width > columns) {
                    lines.push_back(Utf8(text, lineStart, TrimmedEnd(text, lineStart, fitted)));
                    lineStart = fitted;
                    fittedWidth = 0;
                }
                fittedWidth += segment;
                fitted = at;
            }
            lines.push_back(Utf8(text, lineStart, TrimmedEnd(text, lineStart, text.length())));
        }
        if (lineEnd == utf8.size()) {
            break;
        }
        from = lineEnd + 1;
    }
    return lines;
}

}  // namespace modernmail
