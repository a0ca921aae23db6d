// The selection on the path of present-day mail: "Mail Limit Size" on the chosen text, the rules on the decoded
// text. (The copies of the corpus are checked end to end by test_modern_mail.py.)
#include "translate/ModernMailTranslator.h"

#include <gtest/gtest.h>

#include "support/TestComponents.h"
#include "resources/ModuleResources.h"
#include "mail/MailTestSupport.h"
#include "mail/Base64Codec.h"
#include "mail/Email.h"
#include "modernmail/ModernMail.h"
#include "rules/RuleList.h"
#include "translate/Dunmo2000Engine.h"

using namespace testing_components;

namespace {

// A mail as the relay hands it over, ending in the "." line (no line of these mails starts with a dot).
std::unique_ptr<Email> Captured(const std::string& octets) {
    auto mail = std::make_unique<Email>();
    mail->SetMail(mailtest::Split(octets + ".\r\n"));
    return mail;
}

class ModernMailTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.Initialize()); }

    bool Translate(Email& mail, std::uint32_t limitKilobytes = 32, bool autoRecognize = true) {
        const ModernMailTranslator::Selection selection{rules, false, autoRecognize, limitKilobytes, 50};
        return ModernMailTranslator(engine, ModuleInstance()).Translate(mail, selection);
    }

    ScopedApartment apartment;
    ScopedTestComponents components{{}};  // the engine answers "<" + paragraph + ">"
    Dunmo2000Engine engine;
    RuleList rules;
};

// "Mail Limit Size" weighs the chosen text, not the mail: two paragraphs with a 2 MiB document attached are
// translated. A paragraph the engine fails on gets the report, in UTF-8, in place of its translation; the
// next one is translated; the attachment is named in one line at the end.
TEST_F(ModernMailTranslatorTest, SizeLimitWeighsTheChosenTextAndAFailedParagraphGetsItsReport) {
    components.behaviour().translate = [](const std::u16string& source, std::u16string& out) {
        return source.find(u"bad") != std::u16string::npos ? win32::E_FAIL : Bracket(source, out);
    };
    std::string encoded;
    Base64Codec().Encode("%PDF-1.4\n" + std::string(2 * 1024 * 1024 - 9, 'x'), encoded);
    std::string octets = "From: a@example.com\r\nSubject: Report\r\nMIME-Version: 1.0\r\n"
                         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                         "Content-Type: text/plain; charset=utf-8\r\n\r\nbad paragraph\r\n\r\ngood one\r\n"
                         "--b\r\nContent-Type: application/pdf; name=report.pdf\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\n";
    for (std::size_t at = 0; at < encoded.size(); at += 76) {
        octets += encoded.substr(at, 76) + "\r\n";
    }
    octets += "--b--\r\n";
    auto mail = Captured(octets);
    const std::string uniqueId = mail->uniqueId;
    ASSERT_TRUE(Translate(*mail));
    EXPECT_EQ(mail->uniqueId, uniqueId) << "the copy keeps the mail's unique id";
    EXPECT_EQ(modernmail::ModernMail(ModernMailTranslator::Octets(*mail)).TextLines(),
              (std::vector<std::string>{"bad paragraph", "| 報告 - 翻訳エンジンがエラーを返したため、翻訳処理に失敗しました",
                                        "- ダンモ  varaved -", "", "good one", "|< good one>", "",
                                        "添付ファイル: report.pdf (application/pdf, 2.0 MiB) - 元のメールに添付されています"}));
    EXPECT_FALSE(Translate(*Captured(octets), 0)) << "a text above the limit is not translated";
}

// The rules read the decoded text: a sentence that quoted-printable breaks over two lines is found whole.
TEST_F(ModernMailTranslatorTest, RulesMatchTheDecodedText) {
    rules.LoadRules("Rule\n{\n1\nSection\n0\n0\n1\nWordContainMessageRule\n{\nWordRule\n{\nMailRule\n{\n2\n}\n"
                    "18\nthe second section\n1\n0\n0\n}\n}\n}\n");
    EXPECT_TRUE(Translate(*Captured(mailtest::SampleMail("modern/gmail-alternative.eml")), 32, false));
    EXPECT_FALSE(Translate(*Captured(mailtest::SampleMail("modern/reply-quoted.eml")), 32, false));
}

}  // namespace
