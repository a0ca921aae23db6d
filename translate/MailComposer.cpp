// Paragraph rules, per body line (prefix p, text t) against the open paragraph (prefix q, text x); the first
// that applies wins and the line itself is always kept in the output:
//  1 blank line: close the paragraph;  2 different quoting (trailing blanks aside): close, open a new one;
//  3 same prefix: join;  4 nothing open yet: open;  5 less indented: join;  6 one more blank of indentation:
//  a new paragraph when a finished sentence is followed by a capital, digit or "(" (6a), else join (6b);
//  7 anything else: close, open a new one.
#include "translate/MailComposer.h"

#include <vector>

#include "core/LoadResourceString.h"
#include "mail/Email.h"
#include "platform/CodePage.h"
#include "translate/Dunmo2000Engine.h"

namespace {

constexpr const char* kTranslationMark = "|";
constexpr const char* kSubjectPrefix = "TR: ";
constexpr const char* kTranslatedContentType = "text/plain; charset=iso-2022-jp";
constexpr const char* kFallbackReportUtf8 = "| 翻訳結果の処理に失敗しました - VUVed3UzeroVadave";

// The prefix compared between lines: trailing blanks do not count.
std::string_view ComparisonForm(std::string_view prefix)
{
    const std::size_t last = prefix.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : prefix.substr(0, last + 1);
}

bool IsDoubleByteLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF); }
bool IsDoubleByteTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

bool EndsWithBlank(const std::string& text) { return !text.empty() && text.back() == ' '; }

bool EndsSentence(const std::string& text)
{
    return !text.empty() && std::string_view(".?!\"'").find(text.back()) != std::string_view::npos;
}

bool StartsSentence(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    const char first = text.front();
    return (first >= 'A' && first <= 'Z') || (first >= '0' && first <= '9') || first == '(';
}

// Joins a line's text to the open paragraph with one blank, unless the paragraph already ends with one.
void JoinLoosely(std::string& paragraph, const std::string& text)
{
    if (!EndsWithBlank(paragraph)) {
        paragraph += ' ';
    }
    paragraph += text;
}

std::int32_t ReportId(std::int32_t result)
{
    switch (result) {
    case Dunmo2000Engine::kEngineNotCreated:
        return 102;
    case Dunmo2000Engine::kSourceTooLong:
        return 103;
    case Dunmo2000Engine::kEngineFailed:
        return 104;
    case Dunmo2000Engine::kTranslationTooLong:
        return 105;
    default:
        return 0;
    }
}

}  // namespace

bool MailComposer::AppendWrapped(std::string prefix, const char* text, LineList& out)
{
    const int width = kWrapWidth - static_cast<int>(prefix.size());
    if (text == nullptr || *text == '\0') {
        return true;
    }
    // The chunk is the run of text from chunkStart; it is cut before the character that would make it longer
    // than width + 1 bytes (width + 2 when a double-byte character completes it).
    auto emit = [&prefix, &out, text](std::size_t start, std::size_t size) {
        std::string line;
        line.reserve(prefix.size() + size);
        line.append(prefix).append(text + start, size);
        out.Append(std::move(line));
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t chunkStart = 0;
    std::size_t at = 0;
    while (bytes[at] != '\0') {
        if (static_cast<int>(at - chunkStart) > width) {
            emit(chunkStart, at - chunkStart);
            chunkStart = at;
        }
        const bool pair = IsDoubleByteLead(bytes[at]) && bytes[at + 1] != '\0' && IsDoubleByteTrail(bytes[at + 1]);
        at += pair ? 2 : 1;
    }
    if (at > chunkStart) {
        emit(chunkStart, at - chunkStart);
    }
    return true;
}

bool MailComposer::TranslateParagraph(const std::string& text, std::string& result)
{
    std::vector<char> buffer(kTranslationBufferSize, '\0');
    const std::int32_t length = engine.Translate(text.c_str(), kTranslationBufferSize, buffer.data());
    if (length >= 0) {
        result.assign(buffer.data());
        return true;
    }
    const std::int32_t id = ReportId(length);
    if (id == 0 || !LoadResourceString(resources, static_cast<win32::UINT>(id), result)) {
        result = win32::Utf8ToAnsi(kFallbackReportUtf8);
    }
    return false;
}

void MailComposer::Flush(const MailBody& pending, LineList& out)
{
    std::string translation;
    if (TranslateParagraph(pending.text, translation)) {
        AppendWrapped(kTranslationMark + pending.prefix, translation.c_str(), out);
    } else {
        out.Append(std::move(translation));
    }
}

bool MailComposer::TranslateMail(Email* mail)
{
    try {
        std::vector<MailBody> lines;
        mail->GetBodies(lines);
        MailBody pending;
        LineList out;
        out.Reserve(lines.size() * 2);
        for (const MailBody& line : lines) {
            const std::string& p = line.prefix;
            const std::string& t = line.text;
            std::string& q = pending.prefix;
            std::string& x = pending.text;
            if (t.empty()) {
                if (!x.empty()) {
                    Flush(pending, out);
                }
                pending.prefix = p;
                pending.text.clear();
            } else if (ComparisonForm(p) != ComparisonForm(q)) {
                Flush(pending, out);
                pending.prefix = p;
                pending.text = t;
            } else if (p == q) {
                x += ' ';
                x += t;
            } else if (x.empty()) {
                pending.prefix = p;
                pending.text = t;
            } else if (p.size() < q.size()) {
                JoinLoosely(x, t);
                q = p;
            } else if (p.size() == q.size() + 1 && p.back() == ' ' && StartsSentence(t) && EndsSentence(x)) {
                Flush(pending, out);
                pending.text = t;  // the new paragraph keeps the shorter prefix
            } else if (p.size() == q.size() + 1 && p.back() == ' ') {
                JoinLoosely(x, t);
                q = p;
            } else {
                Flush(pending, out);
                pending.prefix = p;
                pending.text = t;
            }
            out.Append(line.ToString());
        }
        if (!pending.text.empty()) {
            Flush(pending, out);
        }
        mail->SetBody(out.Lines());
        mail->SetHeader("Content-Type", kTranslatedContentType);
        mail->PrependSubject(kSubjectPrefix);
        return true;
    } catch (...) {
        return false;
    }
}
