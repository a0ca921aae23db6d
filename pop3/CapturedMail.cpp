#include "pop3/CapturedMail.h"

#include <cstring>
#include <vector>

#include "mail/Email.h"

namespace {
// A size announcement beyond this is not trusted for reserving memory up front.
constexpr std::size_t kLargestReservation = 64 * 1024 * 1024;
// Room for the terminating line and some dot-stuffing beyond the announced size.
constexpr std::size_t kAnswerSlack = 1024;

constexpr char kEscape = 0x1B;

// Sixteen octets looked at at once (GCC and Clang vector extension), so that surveying a large mail costs about
// as much as reading it.
using Octets16 = signed char __attribute__((vector_size(16)));
constexpr std::size_t kBlock = sizeof(Octets16);

bool AnySet(Octets16 flags)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &flags, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

bool IsUnusual(char octet)
{
    return static_cast<unsigned char>(octet) >= 0x80 || octet == kEscape;
}

Octets16 LoadBlock(const char* at)
{
    Octets16 block;
    std::memcpy(&block, at, kBlock);
    return block;
}

// Whether no octet is above 0x7F or an ESC, as JapaneseCodeConverter::IsPlainAscii asks of each line.
bool IsPlainAscii(std::string_view octets)
{
    const char* data = octets.data();
    Octets16 unusual = {};
    std::size_t at = 0;
    for (; at + 4 * kBlock <= octets.size(); at += 4 * kBlock) {
        for (std::size_t block = 0; block < 4; ++block) {
            const Octets16 here = LoadBlock(data + at + block * kBlock);
            unusual |= (here < 0) | (here == kEscape);
        }
    }
    if (AnySet(unusual)) {
        return false;
    }
    for (; at < octets.size(); ++at) {
        if (IsUnusual(data[at])) {
            return false;
        }
    }
    return true;
}
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
    outline.bodyPlainAscii = IsPlainAscii(body);
    return outline;
}
