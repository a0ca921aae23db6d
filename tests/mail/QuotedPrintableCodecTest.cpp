#include "mail/QuotedPrintableCodec.h"

#include <gtest/gtest.h>

namespace {

std::string Decode(std::string_view encoded) {
    std::string out;
    EXPECT_TRUE(QuotedPrintableCodec().Decode(encoded, out));
    return out;
}

std::string Encode(std::string_view bytes) {
    std::string out;
    EXPECT_TRUE(QuotedPrintableCodec().Encode(bytes, out));
    return out;
}

TEST(QuotedPrintableDecode, FollowsRfc2045AndKeepsWhatItCannotRead) {
    const struct { const char* name; std::string encoded, plain; } cases[] = {
        {"RFC 2045 soft line breaks", "Now's the time =\r\nfor all folk to come=\r\n to the aid of their country.",
         "Now's the time for all folk to come to the aid of their country."},
        {"escaped equals sign", "a=3Db", "a=b"},
        {"lower-case hexadecimal digits", "a=3db=e9", "a=b\xE9"},
        {"8-bit text", "Caf=E9 au lait", "Caf\xE9 au lait"},
        {"soft break CR LF", "long=\r\nline", "longline"},
        {"soft break LF", "long=\nline", "longline"},
        {"= CR without LF drops only the two", "a=\rXb", "aXb"},
        {"invalid escape kept whole", "x=ZZy", "x=ZZy"},
        {"half-valid escape kept whole", "x=4Gy", "x=4Gy"},
        {"escape cut off by the end", "abc=4", "abc=4"},
        {"lone equals sign at the end", "abc=", "abc="},
        {"hard line breaks stay", "a\r\nb", "a\r\nb"},
        {"trailing blanks stay", "a  ", "a  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.encoded), c.plain);
    }
}

TEST(QuotedPrintableEncode, EncodesWhatIsNotPrintableAscii) {
    const struct { const char* name; std::string plain, encoded; } cases[] = {
        {"printable text and blanks", "Hello, world! ~{}", "Hello, world! ~{}"},
        {"equals sign", "a=b", "a=3Db"},
        {"8-bit and control bytes", "\xE9\x7F\x01", "=E9=7F=01"},
        {"ISO-2022-JP escape", "\x1B$B", "=1B$B"},
        {"line breaks become CR LF", "a\nb\rc\r\nd", "a\r\nb\r\nc\r\nd"},
        {"a blank before a line break is protected", "a \nb", "a =\r\n\r\nb"},
        {"a trailing blank at the end stays", "ends with blank ", "ends with blank "},
        {"dot at the start of a line", ".\n.x", "=2E\r\n=2Ex"},
        {"From at the start of a line", "From here\nFrom", "=46rom here\r\n=46rom"},
        {"a longer word with F is not protected", "Fromage", "Fromage"},
        {"From inside a line is not protected", "a From b", "a From b"},
        {"F cut off by the end counts as From", "F", "=46"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Encode(c.plain), c.encoded);
    }
}

TEST(QuotedPrintableEncode, BreaksLinesAfterSeventyThreeColumns) {
    EXPECT_EQ(Encode(std::string(100, 'x')), std::string(73, 'x') + "=\r\n" + std::string(27, 'x'));
    // An escape that crosses column 73 still ends the line after it: at most 76 characters with the "=".
    const std::string encoded = Encode(std::string(72, 'x') + "\xE9" + "y");
    EXPECT_EQ(encoded, std::string(72, 'x') + "=E9=\r\ny");
    for (std::size_t start = 0, end; (end = encoded.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 76u);
    }
}

}  // namespace
