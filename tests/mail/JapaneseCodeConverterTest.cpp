// The Japanese code converter: the bytes and escapes around the characters, every character of JIS X 0208
// against glibc's strict tables, and every half-width letter against nkf.
#include "mail/JapaneseCodeConverter.h"

#include "MailTestSupport.h"

namespace {

const std::string kEsc = "\x1B", kToKanji = kEsc + "$B", kToAscii = kEsc + "(B";

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

// A half-width letter and a cut-off lead byte count as no double-byte character.
TEST(JapaneseCodeConverter, WideningAndCountingPassOverOtherBytes) {
    const JapaneseCodeConverter converter;
    std::string out;
    ASSERT_TRUE(converter.HalfToFullKana(kNihongoSjis + "\xB1" + "A\xA0\xF0", out));
    EXPECT_EQ(out, kNihongoSjis + "\x83\x41" + "A\xA0\xF0");
    std::size_t count = 0;
    ASSERT_TRUE(converter.CountShiftJisChars("ab" + kNihongoSjis + "\xB1\x82", count));
    EXPECT_EQ(count, 3u);
}

// Every row/cell glibc's EUC-JP knows, with its Shift_JIS form as glibc gives it, in one mixed text (ASCII
// between, not "\" or "~", which glibc's SHIFT_JIS reads as JIS X 0201 Roman), converted in one piece each
// way with the kind detected: every character and every switch between ASCII and kanji mode.
TEST(JisTableDifferential, WholeTableAsMixedTextMatchesGlibc) {
    std::string cells, knownCells;  // a cell a line: a cell glibc does not know leaves its line empty
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            cells += {static_cast<char>(row | 0x80), static_cast<char>(cell | 0x80), '\n'};
        }
    }
    ASSERT_TRUE(mailtest::RunFilter("iconv -c -f EUC-JP -t SHIFT_JIS", cells, knownCells));
    const std::vector<std::string> euc = mailtest::Split(cells, "\n");
    const std::vector<std::string> shiftJis = mailtest::Split(knownCells, "\n");
    ASSERT_EQ(shiftJis.size(), euc.size());
    std::string sjisText, eucText, glibcJis;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < euc.size(); ++i) {
        if (!shiftJis[i].empty()) {
            const std::string ascii(1, static_cast<char>(' ' + characters % 60));
            const std::string separator = characters % 7 == 0 ? ascii + "\n" : (characters % 3 == 0 ? ascii : "");
            sjisText += shiftJis[i] + separator;
            eucText += euc[i] + separator;
            ++characters;
        }
    }
    ASSERT_EQ(characters, 6879u) << "all of JIS X 0208";
    ASSERT_TRUE(mailtest::RunFilter("iconv -f SHIFT_JIS -t ISO-2022-JP", sjisText, glibcJis));
    const JapaneseCodeConverter converter;
    const struct { const char* name; const std::string& in; bool toJis; const std::string& expected; } cases[] = {
        {"Shift_JIS to ISO-2022-JP", sjisText, true, glibcJis},
        {"EUC-JP to ISO-2022-JP", eucText, true, glibcJis},
        {"ISO-2022-JP to Shift_JIS", glibcJis, false, sjisText},
        {"EUC-JP to Shift_JIS", eucText, false, sjisText},
    };
    for (const auto& c : cases) {
        std::string ours;
        ASSERT_TRUE(c.toJis ? converter.ToJis(c.in, ours, CodeKind::Detect)
                            : converter.ToShiftJis(c.in, ours, CodeKind::Detect));
        EXPECT_TRUE(ours == c.expected) << c.name << " differs from glibc";  // not EXPECT_EQ: no 40 KB dumps
    }
}

TEST(KanaWidening, AgreesWithNkfOnEveryLetterAndSoundMarkPair) {
    // Each of the 63 letters alone, with the voiced mark and with the semi-voiced mark, one per line.
    std::string text, widened, ours;
    for (int letter = 0xA1; letter <= 0xDF; ++letter) {
        for (const char* mark : {"", "\xDE", "\xDF"}) {
            text += static_cast<char>(letter) + std::string(mark) + "\n";
        }
    }
    ASSERT_TRUE(mailtest::RunFilter("nkf -S -s", text, widened)) << "nkf is needed as the reference";
    ASSERT_TRUE(JapaneseCodeConverter().HalfToFullKana(text, ours));
    EXPECT_EQ(mailtest::Split(ours, "\n"), mailtest::Split(widened, "\n"));
}

}  // namespace
