#include "mail/Email.h"

#include <regex>
#include <tuple>

#include "MailTestSupport.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> MailOut(Email& mail, int limit = -1) {
    LineList out;
    EXPECT_TRUE(mail.GetMail(limit, out));
    return out.Lines();
}

// Each mail, even one with the same lines (`twin`), gets a 32-digit id of its own.
TEST(Email, WritesEverySampleMailBackUnchangedCountsItsOctetsAndCopiesIt) {
    for (const char* name : {"text-plain.eml", "no-body.eml", "iso-2022-jp.eml", "shift-jis.eml", "base64.eml",
                             "quoted-printable.eml", "multipart.eml"}) {
        SCOPED_TRACE(name);
        const std::string sent = mailtest::SampleMail(name) + ".\r\n";
        ASSERT_GT(sent.size(), 3u);
        Email mail, twin;
        ASSERT_TRUE(mail.SetMail(mailtest::Split(sent)) && twin.SetMail(mailtest::Split(sent)));
        EXPECT_EQ(LineList(MailOut(mail)).Joined(), sent);
        EXPECT_EQ(mail.size, sent.size());
        EXPECT_TRUE(std::regex_match(mail.uniqueId, std::regex("[0-9a-f]{32}"))) << mail.uniqueId;
        EXPECT_NE(mail.uniqueId, twin.uniqueId);
        Email copy(mail);  // carries the whole mail, and is a mail of its own
        EXPECT_EQ(std::make_tuple(MailOut(copy), copy.size, copy.uniqueId, copy.charset, copy.transferEncoding),
                  std::make_tuple(MailOut(mail), mail.size, mail.uniqueId, mail.charset, mail.transferEncoding));
        copy.SetHeader("Subject", "changed");
        EXPECT_NE(MailOut(copy), MailOut(mail));
    }
}

// Lines that are no fields (no blank after the colon, a blank first) are rows of WritesItsLinesBack.
TEST(Email, ParsesFieldLines) {
    const struct { const char* line; bool field; const char* name; const char* value; } cases[] = {
        {"Subject:  Hi", true, "Subject", " Hi"},
        {": Hi", false, "", ""},
        {"X-Empty: ", true, "X-Empty", ""},
        {"Odd name here: value: more", true, "Odd name here", "value: more"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        MailHeader header;
        const bool field = header.Parse(c.line);
        EXPECT_EQ(std::make_tuple(field, header.name, header.value),
                  std::make_tuple(c.field, std::string(c.name), std::string(c.value)));
    }
}

// The lines written back: continuation lines stay under their field, a line that cannot be folded into anything
// (an mbox separator before the first field) is kept, only "." lines end the body, a limit counts body lines.
TEST(Email, WritesItsLinesBackUpToTheRequestedBodyLines) {
    const auto threeLines = Lines{"Subject: s", "", "1", "2", "3", "."};
    const auto mbox = Lines{"From alice@example.org Mon Dec  2 09:15:00 2024", "Subject: s", "", "b", "."};
    const struct { const char* name; std::vector<std::string> lines; int limit; std::vector<std::string> expected; }
    cases[] = {
        {"folded field", {"Received: from a", "\tby b", " for c", "Subject:no blank", "To: x", "", "body"}, -1,
         {"Received: from a", "\tby b", " for c", "Subject:no blank", "To: x", "", "body", "."}},
        {"leading non-field line", mbox, -1, mbox},
        {"no body line", threeLines, 0, {"Subject: s", "", "."}},
        {"two body lines", threeLines, 2, {"Subject: s", "", "1", "2", "."}},
        {"no limit", threeLines, -1, threeLines},
        {"a limit above the body", threeLines, 10, threeLines},
        {"lone dots are end lines, stuffed ones stay", {"Subject: s", "", "..", ".", "...", "x", "."}, -1,
         {"Subject: s", "", "..", "...", "x", "."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Email mail;
        mail.SetMail(c.lines);
        EXPECT_EQ(MailOut(mail, c.limit), c.expected);
        EXPECT_EQ(mail.size, LineList(MailOut(mail)).Joined().size());
    }
    Email mail;
    mail.SetMail(cases[0].lines);
    std::vector<std::string> values;
    ASSERT_TRUE(mail.GetHeaderValues("received", values));
    EXPECT_EQ(values, (Lines{"from a\r\n\tby b\r\n for c\r\nSubject:no blank"}));
    mail.SetBody(Lines{"a", "."});
    EXPECT_EQ(mailtest::Body(mail), (Lines{"a", "."})) << "a body set as lines keeps its \".\" line";
}

TEST(Email, DetectsTheMimeSummaryFromTheHeader) {
    const struct { const char* name; Lines header; std::int32_t contentType, charset, encoding; } cases[] = {
        {"text/plain ISO-2022-JP", {"Content-Type: text/plain; charset=iso-2022-jp"}, 1, 1, 0},
        {"upper-case type", {"content-type: TEXT/PLAIN; CHARSET=SHIFT_JIS"}, 1, 4, 0},
        {"multipart/mixed", {"Content-Type: multipart/mixed; boundary=\"b\""}, 2, 0, 0},
        {"multipart/alternative", {"Content-Type: multipart/alternative; boundary=b"}, 0, 0, 0},
        {"quoted charset", {"Content-Type: text/plain; charset=\"iso-2022-jp\""}, 1, 0, 0},
        {"blank around =", {"Content-Type: text/plain; charset = us-ascii"}, 1, 0, 0},
        {"TEXT/PLAIN too far in", {"Content-Type: application/x; text/plain"}, 0, 0, 0},
        {"TEXT/PLAIN at position 9", {"Content-Type: 123456789text/plain"}, 1, 0, 0},
        {"latin-1", {"Content-Type: text/plain; charset=ISO-8859-1"}, 1, 2, 0},
        {"two Content-Type fields", {"Content-Type: text/plain", "Content-Type: text/plain"}, 0, 0, 0},
        {"7bit", {"Content-Transfer-Encoding: 7bit"}, 0, 0, 1},
        {"Base64 in mixed case", {"Content-Transfer-Encoding: Base64"}, 0, 0, 2},
        {"quoted-printable", {"Content-Transfer-Encoding: Quoted-Printable"}, 0, 0, 3},
        {"8bit", {"Content-Transfer-Encoding: 8bit"}, 0, 0, 0},
        {"two encodings", {"Content-Transfer-Encoding: 7bit", "Content-Transfer-Encoding: 7bit"}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto mail = mailtest::Mail(c.header);
        EXPECT_EQ(std::make_tuple(mail->contentType, mail->charset, mail->transferEncoding),
                  std::make_tuple(c.contentType, c.charset, c.encoding));
    }
}

TEST(Email, SetHeaderReplacesInPlaceAndDropsLaterFieldsOfTheName) {
    Email mail;
    mail.SetMail(Lines{"From: a", "To: b", "Subject: one", "X: y", "SUBJECT: two", "", "body", "."});
    const std::uint32_t before = mail.size;
    ASSERT_TRUE(mail.SetHeader("subject", "three"));
    EXPECT_EQ(MailOut(mail), (Lines{"From: a", "To: b", "subject: three", "X: y", "", "body", "."}));
    EXPECT_EQ(mail.size, before - std::string("Subject: one\r\nSUBJECT: two\r\n").size() +
                             std::string("subject: three\r\n").size());
}

TEST(Email, RatesTheShareOfEnglish) {
    const struct { const char* name; std::vector<std::string> body; std::int32_t rate; } cases[] = {
        {"all English", {"Hello", "world"}, 100},
        // 4 bytes of Japanese in 12 octets with the line ends: 8 * 100 / 12, truncated.
        {"partly Japanese", {"\x93\xFA\x96\x7B", "ab", ""}, 66},
        {"all Japanese", {"\x93\xFA\x96\x7B\x8C\xEA\x82\xA0"}, 20},
        {"half-width katakana count as English", {"\xB1\xB2"}, 100},
        {"no body", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Email mail;
        mail.SetBody(c.body);
        std::int32_t rate = -1;
        ASSERT_TRUE(mail.GetEnglishRate(rate));
        EXPECT_EQ(rate, c.rate);
    }
}

TEST(Email, FindsABodyLineStartingWithAWord) {
    Email mail;
    mail.SetBody(Lines{"first line", "> Hello there", "\x82\x60\x82\x82\x82\x83 full-width"});
    const struct { const char* name; const char* word; bool fold, wide, expected; } cases[] = {
        {"exact start", "> Hello", false, false, true},
        {"only at the start", "Hello", false, false, false},
        {"case differs", "> HELLO", false, false, false},
        {"case folded", "> HELLO", true, false, true},
        {"full-width letters folded", "\x82\x60\x82\x61", true, false, true},  // "ＡＢ" against "Ａｂ"
        {"width folded", "Abc", false, true, true},
        {"width folded, case kept", "ABC", false, true, false},
        {"width and case folded", "ABC", true, true, true},
        {"width folded first line", "first", false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mail.BodyLineStartsWith(c.word, c.fold, c.wide), c.expected);
    }
}

}  // namespace
