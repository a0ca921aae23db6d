#include "mail/ShiftJisText.h"

#include <gtest/gtest.h>

namespace {

TEST(ShiftJisText, EqualsIgnoringCaseFoldsOnlySingleByteLetters) {
    struct Case { std::string_view a, b; bool equal; } const cases[] = {
        {"iso-2022-JP", "ISO-2022-jp", true},
        {"High", "HIGH", true},
        {"High", "Hig", false},
        {"", "", true},
        {"[", "{", false},                  // 0x5B and 0x7B differ by 0x20 but are no letters
        {"\x82\x61", "\x82\x41", false},    // the trail byte of a double-byte character is not a letter
        {"\x82\x60x", "\x82\x60X", true},   // a letter after a double-byte character still folds
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShiftJisText::EqualsIgnoringCase(c.a, c.b), c.equal) << '"' << c.a << "\" vs \"" << c.b << '"';
    }
}

}  // namespace
