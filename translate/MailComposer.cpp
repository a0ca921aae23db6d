#include "translate/MailComposer.h"

#include <vector>

#include "core/LoadResourceString.h"
#include "mail/Email.h"
#include "mail/ParagraphCutter.h"
#include "platform/CodePage.h"
#include "translate/Dunmo2000Engine.h"

namespace {

constexpr const char* kTranslationMark = "|";
constexpr const char* kSubjectPrefix = "TR: ";
constexpr const char* kTranslatedContentType = "text/plain; charset=iso-2022-jp";
constexpr const char* kFallbackReportUtf8 = "| 翻訳結果の処理に失敗しました - VUVed3UzeroVadave";

bool IsDoubleByteLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF); }
bool IsDoubleByteTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

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
    result = ReportText(length, resources);
    return false;
}

std::string MailComposer::ReportText(std::int32_t failure, win32::HINSTANCE resources)
{
    std::string report;
    const std::int32_t id = ReportId(failure);
    if (id == 0 || !LoadResourceString(resources, static_cast<win32::UINT>(id), report)) {
        report = win32::Utf8ToAnsi(kFallbackReportUtf8);
    }
    return report;
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
        LineList out;
        out.Reserve(lines.size() * 2);
        ParagraphCutter cutter([this, &out](const MailBody& paragraph) { Flush(paragraph, out); });
        for (const MailBody& line : lines) {
            cutter.Add(line);
            out.Append(line.ToString());
        }
        cutter.Finish();
        mail->SetBody(out.Lines());
        mail->SetHeader("Content-Type", kTranslatedContentType);
        mail->PrependSubject(kSubjectPrefix);
        return true;
    } catch (...) {
        return false;
    }
}
