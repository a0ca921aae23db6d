#include "pop3/CapturedMail.h"

#include <vector>

#include "mail/Email.h"

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
