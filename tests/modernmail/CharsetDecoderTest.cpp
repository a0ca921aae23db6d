#include "modernmail/CharsetDecoder.h"

#include <gtest/gtest.h>

#include <tuple>

#include "modernmail/EnglishRate.h"

namespace {

using modernmail::CharsetDecoder;

TEST(CharsetDecoderToUtf8, ReadsDeclaredAndUndeclaredCharsets) {
    const struct { const char* name; std::string octets; const char* charset; std::string expected; } cases[] = {
        {"UTF-8", "caf\xC3\xA9", "UTF-8", "caf\xC3\xA9"},
        {"Latin-1", "caf\xE9", "iso-8859-1", "caf\xC3\xA9"},
        {"Windows quotes under a Latin-1 label", "\x93quoted\x94", "ISO-8859-1", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"Windows-1252", "it\x92s", "windows-1252", "it\xE2\x80\x99s"},
        {"ISO-2022-JP", "\x1B$B$3$s\x1B(B", "iso-2022-jp", "こん"},
        {"undeclared ISO-2022-JP", "\x1B$B$3$s\x1B(B", "", "こん"},
        {"undeclared UTF-8", "na\xC3\xAFve", "", "na\xC3\xAFve"},
        {"UTF-8 under an ASCII label", "na\xC3\xAFve", "us-ascii", "na\xC3\xAFve"},
        {"alias the MIME library knows", "caf\xE9", "latin1", "caf\xC3\xA9"},
        {"broken UTF-8 becomes U+FFFD", "a\xFFz", "utf-8", "a\xEF\xBF\xBDz"},
        {"unknown charset, valid UTF-8", "\xC3\xA9", "x-unknown", "\xC3\xA9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string utf8 = CharsetDecoder::ToUtf8(c.octets, c.charset);
        EXPECT_EQ(utf8, c.expected);
        EXPECT_TRUE(CharsetDecoder::IsUtf8(utf8));
    }
}

TEST(EnglishRateCount, LatinLettersAgainstKanaKanjiAndOtherScripts) {
    const auto letters = modernmail::EnglishRate::Count("Hi 2 you! 日本語のメール Привет");
    EXPECT_EQ(std::tie(letters.latin, letters.japanese, letters.other), std::make_tuple(5u, 7u, 6u))
        << "the long-vowel mark counts with the kana";
    EXPECT_EQ(modernmail::EnglishRate::Percent(letters), 27);
    EXPECT_FALSE(modernmail::EnglishRate::MostlyJapanese(letters));
    EXPECT_EQ(modernmail::EnglishRate::Percent(modernmail::EnglishRate::Count("12 + 3")), 0);
}

}  // namespace
