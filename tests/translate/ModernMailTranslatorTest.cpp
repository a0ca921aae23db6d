// The path of present-day mail over the corpus of mails in the shapes today's programs send: which mails get a
// copy, and that the copy, read back by the MIME library, holds the source sentences intact, the engine's
// translation after every paragraph and a line per attachment.
#include "translate/ModernMailTranslator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestComponents.h"
#include "integration/RelaySettings.h"
#include "mail/Base64Codec.h"
#include "mail/Email.h"
#include "modernmail/ModernMail.h"
#include "rules/RuleList.h"
#include "translate/Dunmo2000Engine.h"

using namespace testing_components;

namespace {

std::string ReadCorpus(const std::string& name)
{
    std::ifstream file(std::string(VUVED_SOURCE_DIR) + "/tests/data/mail/modern/" + name, std::ios::binary);
    std::ostringstream octets;
    octets << file.rdbuf();
    return octets.str();
}

// A mail as the relay captures it: its lines without CR LF, dot-stuffed.
std::unique_ptr<Email> Captured(const std::string& octets)
{
    std::vector<std::string> lines;
    std::istringstream stream(octets);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(!line.empty() && line[0] == '.' ? "." + line : line);
    }
    auto mail = std::make_unique<Email>();
    mail->SetMail(lines);
    return mail;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class ModernMailTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.Initialize()); }

    bool Translate(Email& mail, std::uint32_t limitKilobytes = 32, bool autoRecognize = true)
    {
        return ModernMailTranslator(engine, nullptr).Translate(mail, {rules, false, autoRecognize, limitKilobytes, 50});
    }

    ScopedRegistry registry;
    ScopedApartment apartment;
    ScopedTestComponents components{{}};  // the engine answers "<" + paragraph + ">"
    Dunmo2000Engine engine;
    RuleList rules;
};

TEST_F(ModernMailTranslatorTest, CorpusMailsGetCleanCopiesExceptJapaneseOnes)
{
    const struct {
        const char* file;
        const char* sentence;    // a source sentence the copy must hold intact; null: no copy
        const char* subject;     // the copy's decoded subject
        const char* attachment;  // the start of its attachment line
    } cases[] = {
        {"gmail-alternative.eml", "I’ve read it twice — the second section is", "TR: Draft looks good", nullptr},
        {"outlook-plain-utf8.eml", "Tuesday – 10:00 to 11:30 in the “Harbour” room", "TR: Meeting on Tuesday",
         nullptr},
        {"apple-mail-photo.eml", "Here is the photo from Saturday’s hike.", "TR: Photo from the hike",
         "添付ファイル: IMG_2041.jpeg (image/jpeg, 3.0 KiB)"},
        {"thunderbird-flowed.eml", "the hotel booking if you handle the train tickets.", "TR: Re: Conference trip",
         nullptr},
        {"newsletter-html.eml", "Welcome back! Here’s what happened in the community this week &",
         "TR: Your Weekly Digest", nullptr},
        {"notification.eml", "Your order has shipped.", "TR: Your order has shipped", nullptr},
        {"attachment-pdf.eml", "Please find attached the invoice for November.", "TR: Invoice for November",
         "添付ファイル: invoice-2026-11.pdf (application/pdf, 142 bytes)"},
        {"latin1.eml", "The café near the station has reopened. Its crème brûlée", "TR: The cafe reopened", nullptr},
        {"windows-1252.eml", "The “spring sale” starts on Monday – everything is 20\u00a0% off. Don’t miss it!",
         "TR: Spring sale", nullptr},
        {"base64-utf8.eml", "All services are running again ✔.", "TR: Server upgrade finished", nullptr},
        {"rfc2047-subject.eml", "Shall we meet at the café on Friday at noon?", "TR: Café on Friday – lunch?",
         nullptr},
        {"reply-quoted.eml", ">> Please suggest a day for the review.", "TR: Re: Review meeting", nullptr},
        {"japanese-iso2022jp.eml", nullptr, nullptr, nullptr},
        {"japanese-utf8.eml", nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto mail = Captured(ReadCorpus(c.file));
        const std::string uniqueId = mail->uniqueId;
        ASSERT_EQ(Translate(*mail), c.sentence != nullptr);
        if (c.sentence == nullptr) {
            continue;
        }
        EXPECT_EQ(mail->uniqueId, uniqueId);
        const modernmail::ModernMail copy(ModernMailTranslator::Octets(*mail));
        EXPECT_EQ(copy.Field("Subject").value_or(""), c.subject);
        std::vector<std::string> types;
        mail->GetHeaderValues("Content-Type", types);
        EXPECT_EQ(types, std::vector<std::string>{"text/plain; charset=utf-8"});
        EXPECT_TRUE(copy.Field("Received").has_value()) << "the original's fields stay";
        const std::vector<std::string>& text = copy.TextLines();
        EXPECT_TRUE(Contains(text, c.sentence));
        EXPECT_FALSE(Contains(text, "\xEF\xBF\xBD")) << "no replacement character";
        // Every run of source lines is followed by its translation, marked "|" and the quote prefix.
        std::size_t end = text.size();
        if (c.attachment != nullptr) {
            ASSERT_GE(text.size(), 2u);
            EXPECT_EQ(text.back().rfind(c.attachment, 0), 0u) << text.back();
            end -= 2;
        }
        for (std::size_t i = 0; i < end; ++i) {
            const bool source = !text[i].empty() && text[i][0] != '|';
            if (source && (i + 1 == end || text[i + 1].empty())) {
                ADD_FAILURE() << "no translation after: " << text[i];
            }
        }
    }
}

// "Mail Limit Size" weighs the chosen text, not the mail: two lines with a 2 MiB document attached are translated.
TEST_F(ModernMailTranslatorTest, SizeLimitWeighsTheChosenText)
{
    std::string encoded;
    Base64Codec().Encode("%PDF-1.4\n" + std::string(2 * 1024 * 1024 - 9, 'x'), encoded);
    std::string octets = "From: a@example.com\r\nSubject: Report\r\nMIME-Version: 1.0\r\n"
                         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                         "Content-Type: text/plain; charset=utf-8\r\n\r\nHere is the report.\r\nRegards\r\n--b\r\n"
                         "Content-Type: application/pdf; name=report.pdf\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    for (std::size_t at = 0; at < encoded.size(); at += 76) {
        octets += encoded.substr(at, 76) + "\r\n";
    }
    octets += "--b--\r\n";
    auto mail = Captured(octets);
    ASSERT_TRUE(Translate(*mail));
    const modernmail::ModernMail copy(ModernMailTranslator::Octets(*mail));
    EXPECT_EQ(copy.TextLines().back().rfind("添付ファイル: report.pdf (application/pdf, 2.0 MiB)", 0), 0u);
    EXPECT_FALSE(Translate(*Captured(octets), 0)) << "a text above the limit is not translated";
}

// The rules read the decoded text: a sentence that quoted-printable breaks over two lines is found whole.
TEST_F(ModernMailTranslatorTest, RulesMatchTheDecodedText)
{
    rules.LoadRules("Rule\n{\n1\nSection\n0\n0\n1\nWordContainMessageRule\n{\nWordRule\n{\nMailRule\n{\n2\n}\n"
                    "18\nthe second section\n1\n0\n0\n}\n}\n}\n");
    EXPECT_TRUE(Translate(*Captured(ReadCorpus("gmail-alternative.eml")), 32, false));
    EXPECT_FALSE(Translate(*Captured(ReadCorpus("reply-quoted.eml")), 32, false));
}

}  // namespace
