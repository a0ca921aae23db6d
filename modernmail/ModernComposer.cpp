#include "modernmail/ModernComposer.h"

#include <cstdio>

#include "mail/MailBody.h"
#include "mail/ParagraphCutter.h"

namespace modernmail {
namespace {

constexpr const char* kTranslationMark = "|";

std::string Size(std::uint64_t octets)
{
    char text[32];
    if (octets < 1024) {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(octets));
    } else if (octets < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(octets) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(octets) / (1024 * 1024));
    }
    return text;
}

// A name as one line: line ends and other control characters become blanks.
std::string OneLine(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return text;
}

}  // namespace

std::string ModernComposer::AttachmentLine(const ModernMail::Attachment& attachment)
{
    const std::string name = attachment.name.empty() ? "(名前なし)" : OneLine(attachment.name);
    return "添付ファイル: " + name + " (" + OneLine(attachment.type) + ", " + Size(attachment.octets) +
           ") - 元のメールに添付されています";
}

std::vector<std::string> ModernComposer::Compose(const std::vector<std::string>& text,
                                                 const std::vector<ModernMail::Attachment>& attachments)
{
    std::vector<std::string> out;
    out.reserve(text.size() * 2 + attachments.size() + 1);
    ParagraphCutter cutter([this, &out](const MailBody& paragraph) {
        std::string result;
        if (translator.Translate(paragraph.text, result)) {
            const std::string prefix = kTranslationMark + paragraph.prefix;
            if (!result.empty()) {
                for (std::string& line : wrapper.Wrap(result, kWrapColumns - LineWrapper::Width(prefix))) {
                    out.push_back(prefix + line);
                }
            }
        } else {
            // The report stands as it is, one line of the copy per line of the report.
            std::size_t start = 0;
            for (std::size_t end; (end = result.find('\n', start)) != std::string::npos; start = end + 1) {
                out.push_back(result.substr(start, end - start));
            }
            out.push_back(result.substr(start));
        }
    });
    for (const std::string& line : text) {
        const MailBody body(line);
        cutter.Add(body);
        out.push_back(line);
    }
    cutter.Finish();
    if (!attachments.empty()) {
        out.emplace_back();
        for (const ModernMail::Attachment& attachment : attachments) {
            out.push_back(AttachmentLine(attachment));
        }
    }
    return out;
}

}  // namespace modernmail
