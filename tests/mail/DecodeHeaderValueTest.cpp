#include "mail/Base64Codec.h"
#include "mail/MailCodec.h"
#include "MailTestSupport.h"

namespace {

using mailtest::kKaigiJis;
using mailtest::kKaigiSjis;
// "資料" in Shift_JIS and ISO-2022-JP, and as a Q-encoded word.
const std::string kShiryoSjis = "\x8E\x91\x97\xBF";
const std::string kShiryoJis = "\x1B$B;qNA\x1B(B";
const std::string kShiryoQ = "=?ISO-2022-JP?Q?=1B$B;qNA=1B(B?=";

std::string B(const std::string& charset, const std::string& bytes) {
    return "=?" + charset + "?B?" + mailtest::Coded<Base64Codec>(true, bytes) + "?=";
}

std::string Decoded(const std::string& value) {
    std::string out = "previous text";
    EXPECT_TRUE(MailCodec().DecodeHeaderValue(value, out));
    return out;
}

// Values where RFC 2047 and the lenient reading agree: compared with what nkf -m makes of them (a folded value
// is given to nkf with LF).
TEST(DecodeHeaderValue, AgreesWithNkfOnJapaneseEncodedWords) {
    for (std::string value : std::initializer_list<std::string>{
             B("ISO-2022-JP", kKaigiJis), "=?iso-2022-jp?Q?=1B$B2q5D=1B(B?=",
             "Re: " + B("ISO-2022-JP", kKaigiJis) + " and " + kShiryoQ + " x", B("EUC-JP", "\xB2\xF1\xB5\xC4"),
             B("Shift_JIS", kKaigiSjis), B("ISO-2022-JP", kKaigiJis) + "\r\n\t" + B("ISO-2022-JP", kShiryoJis),
             "Quarterly report"}) {
        SCOPED_TRACE(value);
        std::string nkfInput = value, reference;
        if (const std::size_t fold = nkfInput.find("\r\n"); fold != std::string::npos) {
            nkfInput.erase(fold, 1);
        }
        ASSERT_TRUE(mailtest::RunFilter("nkf -m -s", nkfInput + "\n", reference)) << "nkf is the reference";
        EXPECT_EQ(Decoded(value) + "\n", reference);
    }
}

TEST(DecodeHeaderValue, ReadsLenientlyWhereRfc2047IsStricter) {
    const struct { const char* name; std::string value, expected; } cases[] = {
        {"blank between two words stays", B("ISO-2022-JP", kKaigiJis) + " " + kShiryoQ,
         kKaigiSjis + " " + kShiryoSjis},
        {"fold with a blank keeps the blank", "Quarterly\r\n report", "Quarterly report"},
        {"fold with a tab loses the tab", "Quarterly\r\n\treport", "Quarterlyreport"},
        {"unclosed word gives its raw text", "Re: =?ISO-2022-JP?B?GyRC", "Re: GyRC"},
        {"unclosed charset gives its raw text", "Re: =?ISO-2022", "Re: ISO-2022"},
        {"other charsets pass bytes unchanged", "=?iso-8859-1?Q?Caf=E9?=", "Caf\xE9"},
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
