#include "pop3/CapturedMail.h"

#include "mail/Email.h"

namespace {
// A size announcement beyond this is not trusted for reserving memory up front.
constexpr std::size_t kLargestReservation = 64 * 1024 * 1024;
// Lines of a typical mail are well over this long on average.
constexpr std::size_t kTypicalLineLength = 40;
}  // namespace

void CapturedMail::Reserve(std::size_t octets)
{
    if (octets <= kLargestReservation) {
        text.reserve(octets);
        lengths.reserve(octets / kTypicalLineLength);
    }
}

void CapturedMail::Append(std::string_view line)
{
    text.append(line);
    lengths.push_back(static_cast<std::uint32_t>(line.size()));
}

std::unique_ptr<Email> CapturedMail::BuildEmail() const
{
    // Views into the captured text: the Email copies each line once, into its own fields and body lines.
    std::vector<std::string_view> lines;
    lines.reserve(lengths.size());
    const std::string_view whole = text;
    std::size_t position = 0;
    for (const std::uint32_t length : lengths) {
        lines.push_back(whole.substr(position, length));
        position += length;
    }
    auto mail = std::make_unique<Email>();
    mail->SetMail(lines);
    return mail;
}
