#include "pop3/CapturedMail.h"

#include <gtest/gtest.h>

#include <string>

#include "mail/Email.h"
#include "mail/MailCodec.h"

namespace {

// The outline is what the translate thread decides by before the body is built: it must agree with the Email
// that BuildEmail makes of the same capture.
TEST(CapturedMailTest, OutlineAgreesWithTheBuiltEmail)
{
    // RETR answers as the relay captures them: every line with its CR LF, the terminating "." included and the only
    // line that is exactly ".".
    const struct {
        const char* name;
        std::string text;
    } captures[] = {
        {"plain", "Subject: hi\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nHello.\r\nBye.\r\n.\r\n"},
        {"dot-stuffed lines", "Subject: dots\r\n\r\n..\r\n..\r\n...x\r\na.\r\n.\r\n"},
        {"empty body", "Subject: d\r\n\r\n.\r\n"},
        {"no blank line", "Subject: only a header\r\nX-Other: 1\r\n.\r\n"},
        {"blank line only", "\r\n.\r\n"},
        {"folded header", "Subject: one\r\n two\r\nContent-Type: text/plain\r\n\r\nbody\r\n.\r\n"},
        {"8-bit body", "Content-Type: text/plain; charset=iso-8859-1\r\n\r\ncaf\xe9\r\n.\r\n"},
        {"escape in body", "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n\x1b$B$3\x1b(B\r\n.\r\n"},
        {"base64", "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nSGVsbG8=\r\n.\r\n"},
        {"quoted-printable", "Content-Transfer-Encoding: quoted-printable\r\n\r\na=3Db\r\n.\r\n"},
        {"multipart", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\npart\r\n--b--\r\n.\r\n"},
        {"lone LF and CR in lines", "Subject: x\r\n\r\na\nb\rc\r\n\n.\r\n\r.\r\n.\r\n"},
        {"CR in front of a line ending in a dot", "Subject: x\r\n\r\n\rb.\r\n.\r\n"},
        {"quoted body lines", "Subject: q\r\n\r\n> quoted\r\n>> deeper\r\n.\r\n"},
        {"incomplete last line", "Subject: cut\r\n\r\nwhole\r\npart"},
        {"long body",
         "Subject: long\r\n\r\n" + std::string(100, 'x') + "\r\n" + std::string(40, 'y') + "\x80\r\n.\r\n"},
    };
    for (const auto& capture : captures) {
        SCOPED_TRACE(capture.name);
        CapturedMail captured;
        captured.Append(capture.text);
        const std::unique_ptr<Email> built = captured.BuildEmail();
        const CapturedMail::Outline outline = captured.Survey();
        EXPECT_EQ(outline.header->size + outline.bodyOctets, built->size);
        EXPECT_EQ(outline.header->contentType, built->contentType);
        EXPECT_EQ(outline.header->charset, built->charset);
        EXPECT_EQ(outline.header->GetHeaderSize(), built->GetHeaderSize());
        EXPECT_EQ(outline.bodyPlainAscii, built->BodyIsPlainAscii());
        EXPECT_EQ(BodyDecodesToItself(*outline.header, outline.bodyPlainAscii),
                  BodyDecodesToItself(*built, built->BodyIsPlainAscii()));
    }
}
}  // namespace
