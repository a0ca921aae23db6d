// The converter against glibc's strict SHIFT_JIS, EUC-JP and ISO-2022-JP tables over every character of
// JIS X 0208.
#include <iconv.h>

#include <gtest/gtest.h>

#include "mail/JapaneseCodeConverter.h"

namespace {

// glibc's conversion of `in`; false when it rejects any of it.
bool Iconv(const char* to, const char* from, const std::string& in, std::string& out) {
    const iconv_t descriptor = iconv_open(to, from);
    out.assign(in.size() * 4 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const bool converted = iconv(descriptor, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                           iconv(descriptor, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(descriptor);
    out.resize(out.size() - outLeft);
    return converted;
}

struct Character { std::string shiftJis, euc; };

// Every row/cell that glibc's EUC-JP knows, with its Shift_JIS form as glibc gives it.
std::vector<Character> JisX0208Table() {
    std::vector<Character> table;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            Character c;
            c.euc = {static_cast<char>(row | 0x80), static_cast<char>(cell | 0x80)};
            std::string utf8;
            if (!Iconv("UTF-8", "EUC-JP", c.euc, utf8)) {
                continue;
            }
            EXPECT_TRUE(Iconv("SHIFT_JIS", "UTF-8", utf8, c.shiftJis)) << row << "/" << cell;
            table.push_back(c);
        }
    }
    return table;
}

// The whole table as one mixed text (characters with ASCII between them, neither "\" nor "~", which glibc's
// SHIFT_JIS reads as JIS X 0201 Roman), converted in one piece each way, with the kind detected: every character
// and every switch between ASCII and kanji mode.
TEST(JisTableDifferential, WholeTableAsMixedTextMatchesGlibc) {
    const std::vector<Character> table = JisX0208Table();
    ASSERT_EQ(table.size(), 6879u) << "all of JIS X 0208";
    std::string sjisText, eucText;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string ascii(1, static_cast<char>(' ' + i % 60));
        const std::string separator = i % 7 == 0 ? ascii + "\n" : (i % 3 == 0 ? ascii : "");
        sjisText += table[i].shiftJis + separator;
        eucText += table[i].euc + separator;
    }
    std::string glibcJis;
    ASSERT_TRUE(Iconv("ISO-2022-JP", "SHIFT_JIS", sjisText, glibcJis));

    const JapaneseCodeConverter converter;
    std::string ourJis, ourJisFromEuc, ourSjisFromJis, ourSjisFromEuc;
    ASSERT_TRUE(converter.ToJis(sjisText, ourJis, CodeKind::Detect));
    ASSERT_TRUE(converter.ToJis(eucText, ourJisFromEuc, CodeKind::Detect));
    ASSERT_TRUE(converter.ToShiftJis(glibcJis, ourSjisFromJis, CodeKind::Detect));
    ASSERT_TRUE(converter.ToShiftJis(eucText, ourSjisFromEuc, CodeKind::Detect));
    EXPECT_TRUE(ourJis == glibcJis) << "Shift_JIS to ISO-2022-JP differs from glibc";
    EXPECT_TRUE(ourJisFromEuc == glibcJis) << "EUC-JP to ISO-2022-JP differs from glibc";
    EXPECT_TRUE(ourSjisFromJis == sjisText) << "ISO-2022-JP to Shift_JIS differs from glibc";
    EXPECT_TRUE(ourSjisFromEuc == sjisText) << "EUC-JP to Shift_JIS differs from glibc";
}

}  // namespace
