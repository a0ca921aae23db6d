// The selection on this path, in the classic order: a mail without text, or whose chosen text is larger than
// "Mail Limit Size", or whose letters are mostly kana and kanji, is never translated; then "AllMail"; then
// "AutoRecognize" with "English Rate" on the letters of the decoded text; then the rules.
#include "translate/ModernMailTranslator.h"

#include <memory>
#include <vector>

#include "mail/Email.h"
#include "mail/LineList.h"
#include "modernmail/EnglishRate.h"
#include "modernmail/ModernComposer.h"
#include "modernmail/ModernMail.h"
#include "modernmail/TranslatedCopy.h"
#include "platform/CodePage.h"
#include "rules/RuleList.h"
#include "translate/Dunmo2000Engine.h"
#include "translate/MailComposer.h"

namespace {

using modernmail::ModernMail;

// The engine behind the composition: UTF-8 straight to the engine, its failures as the classic report texts.
class EngineParagraphTranslator final : public modernmail::ParagraphTranslator {
public:
    EngineParagraphTranslator(Dunmo2000Engine& engine, win32::HINSTANCE resources)
        : engine(engine), resources(resources)
    {
    }

    bool Translate(const std::string& paragraph, std::string& result) override
    {
        const std::int32_t outcome = engine.TranslateUtf8(paragraph, result);
        if (outcome >= 0) {
            return true;
        }
        result = win32::AnsiToUtf8(MailComposer::ReportText(outcome, resources));
        return false;
    }

private:
    Dunmo2000Engine& engine;
    win32::HINSTANCE resources;
};

// A field value as one line of code page 932 text.
std::string RuleText(const std::string& utf8)
{
    std::string ansi = win32::Utf8ToAnsi(utf8);
    for (char& c : ansi) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return ansi;
}

// The mail as the rules see it. Rule texts are stored in code page 932 and the rules compare in it (case and
// full-width folding included), so the decoded subject, addresses and text are given to them in code page 932:
// a character that code page lacks cannot be in a rule text either. The other fields (types, priority) stay as
// received, so the type, charset and priority rules answer as for the original.
std::unique_ptr<Email> RuleView(Email& original, const ModernMail& read)
{
    std::vector<std::string> lines;
    for (const char* name : {"Subject", "From", "To", "Cc"}) {
        std::vector<std::string> values;
        original.GetHeaderValues(name, values);
        // A field that occurs more than once matches no rule, decoded or not.
        for (std::size_t i = 0; i < values.size(); ++i) {
            lines.push_back(std::string(name) + ": " + RuleText(read.Field(name).value_or("")));
        }
    }
    for (const char* name : {"Content-Type", "X-Priority"}) {
        std::vector<std::string> values;
        original.GetHeaderValues(name, values);
        for (const std::string& value : values) {
            lines.push_back(std::string(name) + ": " + RuleText(value));
        }
    }
    lines.emplace_back();
    for (const std::string& line : read.TextLines()) {
        lines.push_back(win32::Utf8ToAnsi(line));
    }
    auto view = std::make_unique<Email>();
    view->SetMail(lines);
    return view;
}

}  // namespace

std::string ModernMailTranslator::Octets(Email& mail)
{
    LineList lines;
    mail.GetMail(lines);
    std::string octets;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {  // the last line is the end line "."
        const std::string& line = lines[i];
        octets.append(line.size() > 1 && line[0] == '.' ? line.substr(1) : line).append("\r\n");
    }
    return octets;
}

bool ModernMailTranslator::Selects(const ModernMail& read, Email& mail, const Selection& selection)
{
    const std::uint64_t limit = static_cast<std::uint64_t>(selection.limitKilobytes) * 1024;
    if (read.Kind() == ModernMail::TextKind::kNone || read.TextOctets() > limit) {
        return false;
    }
    modernmail::EnglishRate::Letters letters;
    for (const std::string& line : read.TextLines()) {
        const auto counted = modernmail::EnglishRate::Count(line);
        letters.latin += counted.latin;
        letters.japanese += counted.japanese;
        letters.other += counted.other;
    }
    if (modernmail::EnglishRate::MostlyJapanese(letters)) {
        return false;
    }
    if (selection.allMail) {
        return true;
    }
    if (selection.autoRecognize && modernmail::EnglishRate::Percent(letters) >= selection.englishRate) {
        return true;
    }
    return selection.rules.Match(*RuleView(mail, read));
}

bool ModernMailTranslator::Translate(Email& mail, const Selection& selection)
{
    try {
        const ModernMail read(Octets(mail));
        if (!Selects(read, mail, selection)) {
            return false;
        }
        EngineParagraphTranslator translator(engine, resources);
        modernmail::ModernComposer composer(translator);
        std::vector<std::string> lines =
            modernmail::TranslatedCopy::Write(read.Message(), composer.Compose(read.TextLines(), read.Attachments()));
        // The copy is served as the relay serves mails: dot-stuffed (RFC 1939).
        for (std::string& line : lines) {
            if (!line.empty() && line[0] == '.') {
                line.insert(0, 1, '.');
            }
        }
        const std::string uniqueId = mail.uniqueId;
        mail.Clear();
        mail.SetMail(lines);
        mail.uniqueId = uniqueId;
        return true;
    } catch (...) {
        return false;
    }
}
