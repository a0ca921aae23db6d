// Text operations on Shift_JIS (code page 932) text shared by the mail model and the rules: upper-casing,
// the case fold that also folds full-width Latin letters, and the full-width conversion. Stateless.
#pragma once

#include <string>
#include <string_view>

namespace ShiftJisText {

// Single-byte a-z to A-Z; double-byte characters (lead byte and the byte after it) unchanged.
std::string ToUpperAscii(std::string_view text);
// Whether the two are equal after ToUpperAscii, without making the upper-case copies.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// As ToUpperAscii, and the full-width small Latin letters (0x82 0x81-0x9A) to their capitals (trail - 0x21).
std::string FoldCase(std::string_view text);
// Single-byte characters to their double-byte full-width forms; double-byte characters unchanged.
std::string ToFullWidth(std::string_view text);

}  // namespace ShiftJisText
