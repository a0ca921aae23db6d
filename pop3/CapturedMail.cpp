#include "pop3/CapturedMail.h"

#include <vector>

#include "mail/Email.h"
#include "mail/JapaneseCodeConverter.h"

namespace {
// A size announcement beyond this is not trusted for reserving memory up front.
constexpr std::size_t kLargestReservation = 64 * 1024 * 1024;
// Room for the terminating line and some dot-stuffing beyond the announced size.
constexpr std::size_t kAnswerSlack = 1024;

}  // namespace

void CapturedMail::Reserve(std::size_t octets)
{
    if (octets <= kLargestReservation) {
        text.reserve(octets + kAnswerSlack);
    }
}

void CapturedMail::Append(std::string_view lines)
{
    text.append(lines);
}

std::unique_ptr<Email> CapturedMail::BuildEmail() const
{
    // Views into the captured text: the Email copies each line once, into its own fields and body lines. Only
    // CR LF ends a line, as when the relay cut the answer into lines.
    std::vector<std::string_view> lines;
    std::string_view rest = text;
    for (std::size_t end; (end = rest.find("\r\n")) != std::string_view::npos; rest.remove_prefix(end + 2)) {
        lines.push_back(rest.substr(0, end));
    }
    auto mail = std::make_unique<Email>();
    mail->SetMail(lines);
    return mail;
}

CapturedMail::Outline CapturedMail::Survey() const
{
    // Only complete lines count, as in BuildEmail; the header ends at the first empty line.
    const std::size_t lastLineEnd = text.rfind("\r\n");
    const std::size_t linesLength = lastLineEnd == std::string::npos ? 0 : lastLineEnd + 2;
    const std::string_view lines = std::string_view(text).substr(0, linesLength);
    std::vector<std::string_view> headerLines;
    std::size_t bodyStart = lines.size();
    std::string_view rest = lines;
    for (std::size_t end; (end = rest.find("\r\n")) != std::string_view::npos; rest.remove_prefix(end + 2)) {
        if (end == 0) {
            bodyStart = static_cast<std::size_t>(rest.data() - lines.data()) + 2;
            break;
        }
        headerLines.push_back(rest.substr(0, end));
    }
    Outline outline;
    outline.header = std::make_unique<Email>();
    outline.header->SetMail(headerLines);
    const std::string_view body = lines.substr(bodyStart);
    // The answer's "." line is its only line that is exactly "." and its last; SetMail leaves it out.
    const std::size_t dotLine = body.ends_with(".\r\n") && (body.size() == 3 || body.ends_with("\r\n.\r\n")) ? 3 : 0;
    outline.bodyOctets = static_cast<std::uint32_t>(body.size() - dotLine);
    outline.bodyPlainAscii = JapaneseCodeConverter::IsPlainAscii(body);
    return outline;
}
