// Wraps Unicode text into lines of a number of display columns (a wide East Asian character takes 2), breaking
// only where Unicode line breaking (UAX #14) allows, so no character or word is ever cut: a word longer than a
// line stands alone on a line of its own. Holds its break iterator; made for one mail on one thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class BreakIterator;
U_NAMESPACE_END

namespace modernmail {

class LineWrapper {
public:
    LineWrapper();
    ~LineWrapper();
    LineWrapper(const LineWrapper&) = delete;
    LineWrapper& operator=(const LineWrapper&) = delete;

    // The lines of `utf8` of at most `columns` display columns each (line ends inside it are kept), without
    // the blanks at their ends. onlyAtBlanks: break only after a blank, so that joining the lines again with
    // blanks gives back the text (for the mail's own text, which is joined again into paragraphs).
    std::vector<std::string> Wrap(std::string_view utf8, int columns, bool onlyAtBlanks = false);
    // Display columns of a UTF-8 text.
    static int Width(std::string_view utf8);

private:
    std::unique_ptr<icu::BreakIterator> lineBreaks;  // null when the library has no line-break rules
};

}  // namespace modernmail
