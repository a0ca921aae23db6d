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

// Every row/cell that glibc's EUC-JP knows, with its Shift_JIS form as glibc gives it, in one mixed text
// (characters with ASCII between them, neither "\" nor "~", which glibc's SHIFT_JIS reads as JIS X 0201 Roman),
// converted in one piece each way with the kind detected: every character and every switch between ASCII and
// kanji mode.
TEST(JisTableDifferential, WholeTableAsMixedTextMatchesGlibc) {
    std::string sjisText, eucText, glibcJis;
    std::size_t characters = 0;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            const std::string euc = {static_cast<char>(row | 0x80), static_cast<char>(cell | 0x80)};
            std::string utf8, shiftJis;
            if (!Iconv("UTF-8", "EUC-JP", euc, utf8)) {
                continue;
            }
            EXPECT_TRUE(Iconv("SHIFT_JIS", "UTF-8", utf8, shiftJis)) << row << "/" << cell;
            const std::string ascii(1, static_cast<char>(' ' + characters % 60));
            const std::string separator = characters % 7 == 0 ? ascii + "\n" : (characters % 3 == 0 ? ascii : "");
            sjisText += shiftJis + separator;
            eucText += euc + separator;
            ++characters;
        }
    }
    ASSERT_EQ(characters, 6879u) << "all of JIS X 0208";
    ASSERT_TRUE(Iconv("ISO-2022-JP", "SHIFT_JIS", sjisText, glibcJis));
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

}  // namespace
