#include "mail/Base64Codec.h"

#include "MailTestSupport.h"

namespace {

const auto Encode = [](std::string_view bytes) { return mailtest::Coded<Base64Codec>(true, bytes); };
const auto Decode = [](std::string_view encoded) { return mailtest::Coded<Base64Codec>(false, encoded); };

// The standard vectors (RFC 4648 section 10, the RFC 2045 alphabet) hold both ways for text without zeros.
TEST(Base64Codec, EncodesAndDecodesTheStandardVectors) {
    const struct { const char* plain; const char* encoded; } cases[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"abc", "YWJj"},
        {"\xFF\xFE\xFD", "//79"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        EXPECT_EQ(Encode(c.plain), c.encoded);
        EXPECT_EQ(Decode(c.encoded), c.plain);
    }
}

// The decoder is lenient: short groups and padding read as zero symbols (padding in the middle ends only its own
// group), only LF is skipped while a CR or any byte outside the alphabet takes part with the value 255, and a byte
// of value 0 means "absent": never decoded, and encoded as the padding symbol.
TEST(Base64Codec, DecodesLenientlyAndTreatsZeroBytesAsAbsent) {
    const struct { const char* encoded; std::string plain; } cases[] = {
        {"YQ", "a"},          {"YWI", "ab"},     {"Zg==Zm8=", "ffo"}, {"YW\rJj", "ao\xC9\x8C"},
        {"YW\nJj", "abc"},    {"****", "\xFF\xFF\xFF"}, {"AAAA", ""},    {"YQBi", "ab"},  // a, NUL, b
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(Decode(c.encoded), c.plain);
    }
    EXPECT_EQ(Encode(std::string("a\0b", 3)), "YQ=i");
    EXPECT_EQ(Encode(std::string("ab\0", 3)), "YWI=");
    EXPECT_EQ(Decode("AAEC" "AwQF" "YQ=i" "////" "A===" "=A==").find('\0'), std::string::npos);
}

}  // namespace
