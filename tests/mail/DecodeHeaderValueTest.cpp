#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "mail/Base64Codec.h"
#include "mail/MailCodec.h"

namespace {

const std::string kEsc = "\x1B";
// "会議" and "資料" in ISO-2022-JP, and their Shift_JIS forms.
const std::string kKaigiJis = kEsc + "$B2q5D" + kEsc + "(B";
const std::string kShiryoJis = kEsc + "$B;qNA" + kEsc + "(B";
const std::string kKaigiSjis = "\x89\xEF\x8B\x63";
const std::string kShiryoSjis = "\x8E\x91\x97\xBF";

std::string B(const std::string& charset, const std::string& bytes) {
    std::string encoded;
    Base64Codec().Encode(bytes, encoded);
    return "=?" + charset + "?B?" + encoded + "?=";
}

std::string Q(const std::string& charset, const std::string& bytes) {
    std::string encoded;
    for (unsigned char c : bytes) {
        char escape[4];
        std::snprintf(escape, sizeof escape, "=%02X", c);
        encoded += (c > 32 && c < 127 && c != '=' && c != '?' && c != '_') ? std::string(1, char(c)) : escape;
    }
    return "=?" + charset + "?Q?" + encoded + "?=";
}

std::string Decoded(const std::string& value) {
    std::string out = "previous text";
    EXPECT_TRUE(MailCodec().DecodeHeaderValue(value, out));
    return out;
}

// Values where RFC 2047 and the lenient reading agree: compared with what nkf -m makes of them.
TEST(DecodeHeaderValue, AgreesWithNkfOnJapaneseEncodedWords) {
    const struct {
        const char* name;
        std::string value;
        std::string nkfInput;  // the same header as nkf reads it (a folded value with LF)
    } cases[] = {
        {"base64 word", B("ISO-2022-JP", kKaigiJis), ""},
        {"quoted-printable word", Q("iso-2022-jp", kKaigiJis), ""},
        {"words in running text", "Re: " + B("ISO-2022-JP", kKaigiJis) + " and " + Q("ISO-2022-JP", kShiryoJis) + " x",
         ""},
        {"EUC-JP word", B("EUC-JP", "\xB2\xF1\xB5\xC4"), ""},
        {"Shift_JIS word", B("Shift_JIS", kKaigiSjis), ""},
        {"folded with a tab between two words", B("ISO-2022-JP", kKaigiJis) + "\r\n\t" + B("ISO-2022-JP", kShiryoJis),
         B("ISO-2022-JP", kKaigiJis) + "\n\t" + B("ISO-2022-JP", kShiryoJis)},
        {"plain ASCII", "Quarterly report", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string reference;
        ASSERT_TRUE(mailtest::RunFilter("nkf -m -s", (c.nkfInput.empty() ? c.value : c.nkfInput) + "\n", reference))
            << "nkf is needed as the reference";
        ASSERT_TRUE(reference.ends_with("\n"));
        reference.pop_back();
        EXPECT_EQ(Decoded(c.value), reference);
    }
}

TEST(DecodeHeaderValue, ReadsLenientlyWhereRfc2047IsStricter) {
    const struct { const char* name; std::string value, expected; } cases[] = {
        {"blank between two words stays", B("ISO-2022-JP", kKaigiJis) + " " + Q("ISO-2022-JP", kShiryoJis),
         kKaigiSjis + " " + kShiryoSjis},
        {"fold with a blank keeps the blank", "Quarterly\r\n report", "Quarterly report"},
        {"fold with a tab loses the tab", "Quarterly\r\n\treport", "Quarterlyreport"},
        {"unclosed word gives its raw text", "Re: =?ISO-2022-JP?B?GyRC", "Re: GyRC"},
        {"unclosed charset gives its raw text", "Re: =?ISO-2022", "Re: ISO-2022"},
        {"other charsets pass bytes unchanged", Q("iso-8859-1", "Caf\xE9"), "Caf\xE9"},
        {"underscore in Q stays", "=?us-ascii?Q?a_b?=", "a_b"},
        {"lower-case encoding letter is not decoded", "=?us-ascii?b?YWJj?=", "YWJj"},
        {"empty word vanishes", "a=?us-ascii?B?" "?=b", "ab"},
        {"a half-width katakana is widened", B("Shift_JIS", "\xB1"), "\x83\x41"},
        {"empty value", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decoded(c.value), c.expected);
    }
}

}  // namespace
