#include "translate/MailComposer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestComponents.h"
#include "resources/ModuleResources.h"
#include "mail/MailTestSupport.h"
#include "platform/CodePage.h"
#include "translate/Dunmo2000Engine.h"

using namespace testing_components;

namespace {

using namespace mailtest;

std::string Report(const char* firstLine) { return win32::Utf8ToAnsi(std::string(firstLine) + "\n- ダンモ  varaved -"); }

class MailComposerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.Initialize()); }

    // The body of a mail of these lines after the composition, which marks every mail as ISO-2022-JP text;
    // its Subject fields go to `subjects`.
    std::vector<std::string> Compose(const std::vector<std::string>& body,
                                     const std::vector<std::string>& header = {"Subject: hello"}) {
        auto mail = Mail(header, body);
        MailComposer composer(engine, resources);
        EXPECT_TRUE(composer.TranslateMail(mail.get()));
        std::vector<std::string> types;
        mail->GetHeaderValues("Content-Type", types);
        EXPECT_EQ(types, std::vector<std::string>{"text/plain; charset=iso-2022-jp"});
        EXPECT_EQ(mail->contentType, Email::kTextPlain);
        EXPECT_EQ(mail->charset, Email::kIso2022Jp);
        subjects.clear();
        mail->GetHeaderValues("Subject", subjects);
        return Body(*mail);
    }

    std::vector<std::string> subjects;
    win32::HINSTANCE resources = ModuleInstance();

    ScopedApartment apartment;
    ScopedTestComponents components{{}};
    Dunmo2000Engine engine;
};

// Each paragraph is followed by its translation; `calls` counts the engine calls, one also for each empty
// paragraph (as the one open before a first line with a prefix).
TEST_F(MailComposerTest, ParagraphRules) {
    struct Case { const char* name; std::vector<std::string> body, expected; int calls = 1; };
    const Case cases[] = {
        {"worked example: the quoted line after the blank line closes an empty paragraph",
         {"line one", "line two", "line three", "", "> quoted a", "> quoted b", "last line"},
         {"line one", "line two", "line three", "|< line one line two line three>", "", "> quoted a", "> quoted b",
          "|> <quoted a quoted b>", "last line", "|<last line>"}, 4},
        {"rule 3 joins equal prefixes with one blank, also after a trailing blank", {"foo ", "bar"},
         {"foo ", "bar", "|< foo  bar>"}},
        {"rule 1 closes at a prefix-only line and opens with its prefix", {"> a", ">", "> b"},
         {"> a", "|> <a>", ">", "> b", "|> <b>"}, 3},
        {"rule 2 ignores trailing blanks of the prefix", {">  deeper", "> same"},
         {">  deeper", "> same", "|> <deeper same>"}, 2},
        {"rule 5 joins a less indented line and takes its prefix", {"  indented text", " less"},
         {"  indented text", " less", "| <indented text less>"}},
        {"rule 6a starts a paragraph at a new sentence one blank deeper", {"> Done.", ">  Next one"},
         {"> Done.", "|> <Done.>", ">  Next one", "|> <Next one>"}, 3},
        {"rule 6a accepts a digit, ( and the quote marks", {"> He said \"yes\"", ">  (Then) left"},
         {"> He said \"yes\"", "|> <He said \"yes\">", ">  (Then) left", "|> <(Then) left>"}, 3},
        {"rule 6b joins when the open text does not end a sentence", {"> done", ">  Next"},
         {"> done", ">  Next", "|>  <done Next>"}, 2},
        {"rule 6b joins when the new line does not start a sentence", {"> Done.", ">  next"},
         {"> Done.", ">  next", "|>  <Done. next>"}, 2},
        {"rule 7 closes at two more blanks of indentation", {"> Done", ">   More"},
         {"> Done", "|> <Done>", ">   More", "|>   <More>"}, 3},
        {"a body without text is left as it is", {"", ">", "  ", "> >", ""}, {"", ">", "  ", "> >", ""}, 0},
        {"tabs are part of the compared prefix", {"\tone", "\ttwo", "three"},
         {"\tone", "\ttwo", "|\t<one two>", "three", "|<three>"}, 3},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const int callsBefore = components.counters().translateCalls;
        EXPECT_EQ(Compose(test.body), test.expected);
        EXPECT_EQ(components.counters().translateCalls - callsBefore, test.calls);
    }
}

TEST_F(MailComposerTest, MarksTheSubject) {
    const struct { std::vector<std::string> header, subjects; } cases[] = {
        {{"Subject: Meeting", "Content-Type: text/plain; charset=us-ascii"}, {"TR: Meeting"}},
        {{"Subject: TR: Meeting"}, {"TR: TR: Meeting"}},
        {{"From: a@example.org"}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compose({"text"}, c.header), (std::vector<std::string>{"text", "|< text>"}));
        EXPECT_EQ(subjects, c.subjects) << c.header[0];
    }
}

// Each failure puts its report after the paragraph, and the composition goes on with the next one.
TEST_F(MailComposerTest, FailuresInsertTheirReports) {
    const TranslateFunction failOnBad = [](const std::u16string& source, std::u16string& out) {
        return source.find(u"bad") != std::u16string::npos ? win32::E_FAIL : Bracket(source, out);
    };
    const win32::ModuleResources noStrings{{}, nullptr};
    const struct { const char* name; TranslateFunction translate; bool engineCreated; std::vector<std::string> body,
                   expected; bool reportTexts = true; } cases[] = {
        {"engine failure (104)", failOnBad, true, {"bad paragraph", "", "good one"},
         {"bad paragraph", Report("| 報告 - 翻訳エンジンがエラーを返したため、翻訳処理に失敗しました"), "",
          "good one", "|< good one>"}},
        // The first line is joined to the empty open paragraph with one blank: 32766 letters make 32767 bytes.
        {"longest paragraph", Answer(u"ok"), true, {std::string(32766, 'a')}, {std::string(32766, 'a'), "|ok"}},
        {"paragraph too long (103)", Answer(u"ok"), true, {std::string(32767, 'a')},
         {std::string(32767, 'a'), Report("| 報告 - サーバがメール解析処理に失敗したため、翻訳に失敗しました")}},
        {"translation too long (105)", Answer(std::u16string(32768, u'x')), true, {"text"},
         {"text", Report("| 報告 - サーバが翻訳結果の処理に失敗しました")}},
        {"no report texts: the fallback", failOnBad, true, {"bad"},
         {"bad", win32::Utf8ToAnsi("| 翻訳結果の処理に失敗しました - VUVed3UzeroVadave")}, false},
        {"engine not created (102)", Bracket, false, {"text"},
         {"text", Report("| 報告 - エンジンに問題がある可能性があるため、翻訳処理に失敗しました")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        components.behaviour().translate = c.translate;
        resources = c.reportTexts ? ModuleInstance() : &noStrings;
        if (!c.engineCreated) {
            engine.Uninitialize();
        }
        EXPECT_EQ(Compose(c.body), c.expected);
    }
}

TEST(AppendWrapped, Widths) {
    const auto wide = [](std::size_t count) { return win32::Utf16ToAnsi(std::u16string(count, u'あ')); };
    struct Case { const char* name; std::string prefix, text; std::vector<std::string> expected; };
    const Case cases[] = {
        {"empty text adds nothing", "|", "", {}},
        {"one-byte prefix: 72 bytes of text per line", "|", std::string(150, 'b'),
         {"|" + std::string(72, 'b'), "|" + std::string(72, 'b'), "|bbbbbb"}},
        {"a double-byte character completing the line makes it one longer", "|", "a" + wide(40),
         {"|a" + wide(36), "|" + wide(4)}},
        {"prefix filling the width: one character per line", std::string(72, '>'), "a" + wide(1) + "b",
         {std::string(72, '>') + "a", std::string(72, '>') + wide(1), std::string(72, '>') + "b"}},
        {"longer prefix: the first line is the prefix alone", std::string(73, '>'), "ab",
         {std::string(73, '>'), std::string(73, '>') + "a", std::string(73, '>') + "b"}},
        {"line breaks are copied like other bytes", "|", "a\nb", {"|a\nb"}},
        {"a lead byte at the end is one byte", "|", "a\x82", {"|a\x82"}},
        {"lead byte 0xF0 counts as a single byte", "|", "\xF0\x40", {"|\xF0\x40"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LineList out;
        EXPECT_TRUE(MailComposer::AppendWrapped(test.prefix, test.text.c_str(), out));
        EXPECT_EQ(out.Lines(), test.expected);
    }
}

}  // namespace
