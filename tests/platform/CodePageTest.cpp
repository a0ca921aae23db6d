#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

namespace {

using namespace win32;

struct RoundTripCase {
    const char* name;
    std::string utf8;
    std::string ansi;
};

TEST(CodePageConversion, RoundTripsThroughUtf8AndUtf16) {
    const RoundTripCase cases[] = {
        {"ascii", "Hello, world", "Hello, world"},
        {"empty", "", ""},
        {"hiragana", "あいう", "\x82\xA0\x82\xA2\x82\xA4"},
        {"half-width katakana", "ｶﾞ", "\xB6\xDE"},
        {"backslash and tilde stay ASCII (the Windows variant of Shift_JIS)", "\\~", "\\~"},
        {"line feeds", "一\n二\n", "\x88\xEA\n\x93\xF1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
        EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(c.ansi)), c.ansi);
    }
}

TEST(CodePageConversion, ReplacesWhatCannotBeConverted) {
    // An undecodable byte pair becomes one U+30FB; a lone lead byte at the end too; the text after it
    // survives.
    EXPECT_EQ(AnsiToUtf16("a\x85\x40z"), u"a\u30FBz");
    EXPECT_EQ(AnsiToUtf16("ab\x82"), u"ab\u30FB");
    // Characters without a code page 932 form become '?', a surrogate pair counting as one character.
    EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80" "b\xC3\xA9" "c"), "a?b?c");
    // Malformed UTF-8 is replaced rather than dropped.
    EXPECT_EQ(Utf8ToAnsi("a\xFF" "b"), "a?b");
}

TEST(CodePageConversion, ValidatesUtf8Strictly) {
    EXPECT_TRUE(IsValidUtf8("plain あ 😀"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE3\x81"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(CodePageText, MapsToFullWidth) {
    const struct {
        const char* name;
        std::string in;
        std::string utf8;
    } cases[] = {
        {"letters and digits", "Az09", "Ａｚ０９"},
        {"blank and punctuation", " !?.,", "　！？．，"},
        {"tilde and quotes", "~\"'", "～＂＇"},
        {"backslash to its full-width form", "C:\\", "Ｃ：＼"},
        {"half-width katakana", "\xB6\xC5", "カナ"},
        {"voiced and semi-voiced", "\xB6\xDE\xCA\xDF\xB3\xDE", "ガパヴ"},
        {"mark that does not combine", "\xB1\xDE", "ア゛"},
        {"lone semi-voiced mark", "\xDF", "゜"},
        {"half-width punctuation", "\xA1\xA2\xA3\xA4\xA5\xB0", "。「」、・ー"},
        {"double-byte untouched", "\x82\xA0\x83\x61", "あヂ"},
        {"control characters untouched", "\t\n", "\t\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AnsiToUtf8(ToFullWidthAnsi(c.in)), c.utf8);
    }
}

}  // namespace
