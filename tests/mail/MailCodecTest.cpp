// The mail codec: header values and bodies decoded into Shift_JIS, bodies encoded back as ISO-2022-JP.
#include "mail/MailCodec.h"

#include "mail/Base64Codec.h"
#include "MailTestSupport.h"

namespace {

using namespace mailtest;

// "資料" in Shift_JIS and ISO-2022-JP, and as a Q-encoded word.
const std::string kShiryoSjis = "\x8E\x91\x97\xBF";
const std::string kShiryoJis = "\x1B$B;qNA\x1B(B";
const std::string kShiryoQ = "=?ISO-2022-JP?Q?=1B$B;qNA=1B(B?=";

std::string Base64(const std::string& bytes) { return mailtest::Coded<Base64Codec>(true, bytes); }

std::string B(const std::string& charset, const std::string& bytes) {
    return "=?" + charset + "?B?" + Base64(bytes) + "?=";
}

std::string Decoded(const std::string& value) {
    std::string out = "previous text";
    EXPECT_TRUE(MailCodec().DecodeHeaderValue(value, out));
    return out;
}

// Values where RFC 2047 and the lenient reading agree: compared with what nkf -m makes of them.
TEST(DecodeHeaderValue, AgreesWithNkfOnJapaneseEncodedWords) {
    for (std::string value : std::initializer_list<std::string>{
             B("ISO-2022-JP", kKaigiJis), "=?iso-2022-jp?Q?=1B$B2q5D=1B(B?=",
             "Re: " + B("ISO-2022-JP", kKaigiJis) + " and " + kShiryoQ + " x", B("EUC-JP", "\xB2\xF1\xB5\xC4"),
             B("Shift_JIS", kKaigiSjis), "Quarterly report"}) {
        SCOPED_TRACE(value);
        std::string reference;
        ASSERT_TRUE(mailtest::RunFilter("nkf -m -s", value + "\n", reference)) << "nkf is the reference";
        EXPECT_EQ(Decoded(value) + "\n", reference);
    }
}

TEST(DecodeHeaderValue, ReadsLenientlyWhereRfc2047IsStricter) {
    const struct { const char* name; std::string value, expected; } cases[] = {
        {"blank between two words stays", B("ISO-2022-JP", kKaigiJis) + " " + kShiryoQ,
         kKaigiSjis + " " + kShiryoSjis},
        {"fold with a blank keeps the blank", "Quarterly\r\n report", "Quarterly report"},
        {"fold with a tab loses the tab", "Quarterly\r\n\treport", "Quarterlyreport"},
        {"folded words join", B("ISO-2022-JP", kKaigiJis) + "\r\n\t" + kShiryoQ, kKaigiSjis + kShiryoSjis},
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

std::unique_ptr<Email> MailWith(const std::string& transferEncoding, const std::vector<std::string>& body) {
    std::vector<std::string> header = {"Subject: s", "Content-Type: text/plain; charset=ISO-2022-JP"};
    if (!transferEncoding.empty()) {
        header.push_back("Content-Transfer-Encoding: " + transferEncoding);
    }
    return mailtest::Mail(header, body);
}

// DecodeBody adds the lines to what it is given; DecodeMailBody puts them in the mail's body and keeps its
// MIME summary. A failure leaves both as they were.
TEST(DecodeBody, DecodesEachTransferEncodingIntoShiftJisLines) {
    const std::string text = "Hello\r\n\r\n" + kKaigiJis + " today\nlast\rline\r\n";
    const std::string encoded = Base64(text);
    const struct { const char* name; std::string encoding; std::vector<std::string> body, expected;
                   bool decodes = true; } cases[] = {
        {"base64 in one line", "base64", {encoded}, {"Hello", "", kKaigiSjis + " today", "last\rline"}},
        {"base64 cut at 5", "base64", {encoded.substr(0, 5), encoded.substr(5)},
         {"Hello", "", kKaigiSjis + " today", "last\rline"}},
        {"base64 without final line break", "base64", {Base64("a\r\nb")}, {"a", "b"}},
        {"quoted-printable", "quoted-printable", {"=1B$B2q5D=1B(B =3D", "", "soft=", "broken"},
         {kKaigiSjis + " =", "", "softbroken"}},
        {"quoted-printable soft break before empty line", "quoted-printable", {"ends=", "", "next"}, {"ends", "next"}},
        {"quoted-printable soft break at the end", "quoted-printable", {"x", "tail="}, {"x", "tail"}},
        {"plain ISO-2022-JP", "7bit", {kKaigiJis, "", "English"}, {kKaigiSjis, "", "English"}},
        {"plain EUC-JP, half-width kana widened", "", {"\xB2\xF1\xB5\xC4", "\xB1"}, {kKaigiSjis, "\x83\x41"}},
        {"BASE64 in capitals takes the plain path", "BASE64", {"YWJj"}, {"YWJj"}},
        {"Quoted-Printable in mixed case takes the plain path", "Quoted-Printable", {"a=3Db"}, {"a=3Db"}},
        {"empty base64 leaves nothing to convert", "base64", {}, {}, false},
        {"base64 of zero bytes only, which the decoder drops", "base64", {"AAAA", "AA=="}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto mail = MailWith(c.encoding, c.body);
        const std::vector<std::string> before = Body(*mail);
        std::vector<std::string> out = {"kept"};
        EXPECT_EQ(MailCodec().DecodeBody(*mail, out), c.decodes);
        EXPECT_EQ(out.front(), "kept");
        EXPECT_EQ(std::vector<std::string>(out.begin() + 1, out.end()), c.expected);
        EXPECT_EQ(DecodeMailBody(*mail), c.decodes);
        EXPECT_EQ(Body(*mail), c.decodes ? c.expected : before);
        EXPECT_EQ(mail->transferEncoding, MailWith(c.encoding, {})->transferEncoding);
        EXPECT_EQ(mail->size, mail->GetHeaderSize() + mail->GetBodySize() + 5);
    }
}

TEST(EncodeBody, EncodesShiftJisLinesAsIso2022JpInTheDeclaredEncoding) {
    const std::string longLine(100, 'x');
    const std::string base64Lines = Base64(std::string(60, 'a') + "\r\n");
    const struct { const char* name; std::string encoding; std::vector<std::string> body, expected; } cases[] = {
        {"plain", "7bit", {kKaigiSjis, "", "English"}, {kKaigiJis, "", "English"}},
        {"quoted-printable", "quoted-printable", {kKaigiSjis + "=", "", longLine},
         {"=1B$B2q5D=1B(B=3D", "", std::string(73, 'x') + "=", std::string(27, 'x')}},
        {"quoted-printable trailing blank stays", "quoted-printable", {"ends with blank "}, {"ends with blank "}},
        {"base64 stops at the end line", "base64", {kKaigiSjis, "", "b", ".", "c"},
         {Base64(kKaigiJis + "\r\n\r\nb\r\n")}},
        {"base64 in lines of 76", "base64", {std::string(60, 'a')},
         {base64Lines.substr(0, 76), base64Lines.substr(76)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto mail = MailWith(c.encoding, {});
        mail->SetBody(c.body);
        ASSERT_TRUE(MailCodec().EncodeBody(*mail));
        EXPECT_EQ(Body(*mail), c.expected);
    }
}

}  // namespace
