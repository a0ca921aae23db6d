#include "mail/JapaneseCodeConverter.h"

#include <gtest/gtest.h>

namespace {

const std::string kEsc = "\x1B";
const std::string kToKanji = kEsc + "$B";
const std::string kToAscii = kEsc + "(B";

// "日本語" in Shift_JIS and ISO-2022-JP.
const std::string kNihongoSjis = "\x93\xFA\x96\x7B\x8C\xEA";
const std::string kNihongoJis = kToKanji + "\x46\x7C\x4B\x5C\x38\x6C" + kToAscii;

TEST(JapaneseCodeConverter, DetectsMixedTexts) {
    const struct { const char* name; std::string text; CodeKind expected; } cases[] = {
        {"plain ASCII", "Hello, world!\r\n", CodeKind::Ascii},
        {"ISO-2022-JP with ASCII", "Re: " + kNihongoJis + " meeting", CodeKind::Iso2022Jp},
        {"ISO-2022-JP with the 1978 escape", kEsc + "$@\x46\x7C" + kEsc + "(J", CodeKind::Iso2022Jp},
        // One Shift_JIS-only pair and one EUC-JP-only pair: equally rich in each, so undecided.
        {"as rich in Shift_JIS as in EUC-JP", "\x88\x9F \xB0\xA1", CodeKind::Ascii},
        {"kanji mode ended by a line feed", kToKanji + "\n\x46\x7C\x4B\x5C", CodeKind::Ascii},
        {"EUC-JP kana whose second byte is also a Shift_JIS lead", "\xA4\xA2\xA4\xA4\xA4\xA6", CodeKind::EucJp},
    };
    const JapaneseCodeConverter converter;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CodeKind kind = CodeKind::Detect;
        ASSERT_TRUE(converter.Detect(c.text, kind));
        EXPECT_EQ(kind, c.expected);
    }
}

// Every character of JIS X 0208 in mixed text, each way, is compared with glibc in JisTableDifferentialTest; here
// the bytes and escapes around the characters.
TEST(JapaneseCodeConverter, ConvertsBetweenTheThreeEncodings) {
    const struct { const char* name; std::string in; CodeKind kind; bool toJis; std::string expected; } cases[] = {
        {"ASCII to JIS unchanged", "Plain text, 100% ASCII ~ \\ ok", CodeKind::Detect, true,
         "Plain text, 100% ASCII ~ \\ ok"},
        // Every conversion to JIS ends in ASCII mode, even after a cut-off character.
        {"cut-off character at the end", kNihongoSjis + "\x82", CodeKind::ShiftJis, true, kNihongoJis},
        {"JIS stays JIS", kNihongoJis, CodeKind::Detect, true, kNihongoJis},
        {"Shift_JIS stays", kNihongoSjis, CodeKind::Detect, false, kNihongoSjis},
        {"kanji mode ends at the line feed", kToKanji + "\x46\x7C\nAB", CodeKind::Iso2022Jp, false, "\x93\xFA\nAB"},
        {"JIS X 0201 Roman escape is dropped", kEsc + "(JAB", CodeKind::Iso2022Jp, false, "AB"},
        {"unknown escape is kept", kEsc + "(IAB", CodeKind::Iso2022Jp, false, kEsc + "(IAB"},
        {"a lone high byte of EUC-JP is dropped", "A\xC6", CodeKind::EucJp, false, "A"},
        {"0x80 is dropped", "A\x80" "B", CodeKind::ShiftJis, true, "AB"},
    };
    const JapaneseCodeConverter converter;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "<";
        ASSERT_TRUE(c.toJis ? converter.ToJis(c.in, out, c.kind) : converter.ToShiftJis(c.in, out, c.kind));
        EXPECT_EQ(out, "<" + c.expected);
    }
}

// Every half-width letter and sound mark is compared with nkf in KanaWideningTest; here the bytes around them, and
// the counting of double-byte characters, where a half-width letter and a cut-off lead byte count as none.
TEST(JapaneseCodeConverter, WideningAndCountingPassOverOtherBytes) {
    const JapaneseCodeConverter converter;
    std::string out;
    ASSERT_TRUE(converter.HalfToFullKana(kNihongoSjis + "\xB1" + "A\xA0\xF0", out));
    EXPECT_EQ(out, kNihongoSjis + "\x83\x41" + "A\xA0\xF0");
    std::size_t count = 0;
    ASSERT_TRUE(converter.CountShiftJisChars("ab" + kNihongoSjis + "\xB1\x82", count));
    EXPECT_EQ(count, 3u);
}

}  // namespace
