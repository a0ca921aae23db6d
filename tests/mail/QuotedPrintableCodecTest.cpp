#include "mail/QuotedPrintableCodec.h"

#include "MailTestSupport.h"

namespace {

TEST(QuotedPrintableDecode, FollowsRfc2045AndKeepsWhatItCannotRead) {
    const struct { const char* name; std::string encoded, plain; } cases[] = {
        {"RFC 2045 soft line breaks", "Now's the time =\r\nfor all folk to come=\r\n to the aid of their country.",
         "Now's the time for all folk to come to the aid of their country."},
        {"escaped equals sign", "a=3Db", "a=b"},
        {"lower-case hexadecimal digits", "a=3db=e9", "a=b\xE9"},
        {"8-bit text", "Caf=E9 au lait", "Caf\xE9 au lait"},
        {"soft break LF", "long=\nline", "longline"},
        {"= CR without LF drops only the two", "a=\rXb", "aXb"},
        {"invalid escape kept whole", "x=ZZy", "x=ZZy"},
        {"half-valid escape kept whole", "x=4Gy", "x=4Gy"},
        {"escape cut off by the end", "abc=4", "abc=4"},
        {"lone equals sign at the end", "abc=", "abc="},
        {"hard line breaks and trailing blanks stay", "a\r\nb  ", "a\r\nb  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mailtest::Coded<QuotedPrintableCodec>(false, c.encoded), c.plain);
    }
}

// Lines break after 73 columns; an escape that crosses column 73 still ends its line (76 with the "=").
TEST(QuotedPrintableEncode, EncodesWhatIsNotPrintableAsciiAndBreaksLongLines) {
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
        {"long line", std::string(100, 'x'), std::string(73, 'x') + "=\r\n" + std::string(27, 'x')},
        {"escape across column 73", std::string(72, 'x') + "\xE9y", std::string(72, 'x') + "=E9=\r\ny"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mailtest::Coded<QuotedPrintableCodec>(true, c.plain), c.encoded);
    }
}

}  // namespace
