#include "mail/Base64Codec.h"
#include "mail/MailCodec.h"
#include "MailTestSupport.h"

namespace {

using mailtest::kKaigiJis;
using mailtest::kKaigiSjis;

using mailtest::Body;

std::unique_ptr<Email> MailWith(const std::string& transferEncoding, const std::vector<std::string>& body) {
    std::vector<std::string> header = {"Subject: s", "Content-Type: text/plain; charset=ISO-2022-JP"};
    if (!transferEncoding.empty()) {
        header.push_back("Content-Transfer-Encoding: " + transferEncoding);
    }
    return mailtest::Mail(header, body);
}

std::vector<std::string> Decoded(Email& mail) {
    std::vector<std::string> out = {"kept"};
    EXPECT_TRUE(MailCodec().DecodeBody(mail, out));
    EXPECT_EQ(out.front(), "kept");
    out.erase(out.begin());
    return out;
}

std::string Base64(const std::string& bytes) { return mailtest::Coded<Base64Codec>(true, bytes); }

// DecodeBody gives the lines; DecodeMailBody puts them in the mail's body and keeps its MIME summary.
TEST(DecodeBody, DecodesEachTransferEncodingIntoShiftJisLines) {
    const std::string text = "Hello\r\n\r\n" + kKaigiJis + " today\nlast\rline\r\n";
    const std::string encoded = Base64(text);
    const struct { const char* name; std::string encoding; std::vector<std::string> body, expected; } cases[] = {
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto mail = MailWith(c.encoding, c.body);
        EXPECT_EQ(Decoded(*mail), c.expected);
        ASSERT_TRUE(DecodeMailBody(*mail));
        EXPECT_EQ(Body(*mail), c.expected);
        EXPECT_EQ(mail->transferEncoding, MailWith(c.encoding, {})->transferEncoding);
        EXPECT_EQ(mail->size, mail->GetHeaderSize() + mail->GetBodySize() + 5);
    }
}

TEST(DecodeBody, FailsWithoutTouchingTheMailWhenAConversionFails) {
    // An empty base64 body, or one of zero bytes only (which the decoder drops), leaves nothing to convert.
    for (auto body : {std::vector<std::string>{}, std::vector<std::string>{"AAAA", "AA=="}}) {
        auto mail = MailWith("base64", body);
        const std::vector<std::string> before = Body(*mail);
        std::vector<std::string> out;
        EXPECT_FALSE(MailCodec().DecodeBody(*mail, out));
        EXPECT_TRUE(out.empty());
        EXPECT_FALSE(DecodeMailBody(*mail));
        EXPECT_EQ(Body(*mail), before);
    }
}

TEST(EncodeBody, EncodesShiftJisLinesAsIso2022JpInTheDeclaredEncoding) {
    const std::string longLine(100, 'x');
    const struct { const char* name; std::string encoding; std::vector<std::string> body, expected; } cases[] = {
        {"plain", "7bit", {kKaigiSjis, "", "English"}, {kKaigiJis, "", "English"}},
        {"quoted-printable", "quoted-printable", {kKaigiSjis + "=", "", longLine},
         {"=1B$B2q5D=1B(B=3D", "", std::string(73, 'x') + "=", std::string(27, 'x')}},
        {"quoted-printable trailing blank stays", "quoted-printable", {"ends with blank "}, {"ends with blank "}},
        {"base64 stops at the end line", "base64", {kKaigiSjis, "", "b", ".", "c"},
         {Base64(kKaigiJis + "\r\n\r\nb\r\n")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto mail = MailWith(c.encoding, {});
        mail->SetBody(c.body);
        ASSERT_TRUE(MailCodec().EncodeBody(*mail));
        EXPECT_EQ(Body(*mail), c.expected);
    }
}

// base64.eml encodes to four lines: base64 is cut into lines of 76.
TEST(EncodeBody, RoundTripsTheSampleMailsThroughDecodeBody) {
    for (const char* name : {"iso-2022-jp.eml", "base64.eml", "quoted-printable.eml", "shift-jis.eml"}) {
        SCOPED_TRACE(name);
        Email mail;
        mail.SetMail(mailtest::Split(mailtest::SampleMail(name) + ".\r\n"));
        ASSERT_TRUE(DecodeMailBody(mail));
        const std::vector<std::string> decoded = Body(mail);
        ASSERT_TRUE(MailCodec().EncodeBody(mail));
        const std::vector<std::string> encoded = Body(mail);
        for (std::size_t i = 0; mail.transferEncoding == Email::kBase64 && i + 1 < encoded.size(); ++i) {
            EXPECT_EQ(encoded[i].size(), 76u);
        }
        EXPECT_EQ(Decoded(mail), decoded);
    }
}

}  // namespace
