#include "mail/MailBody.h"

bool MailBody::Parse(std::string_view line) {
    const std::size_t quoting = line.find_first_not_of(" >\t");
    const std::size_t split = quoting == std::string_view::npos ? line.size() : quoting;
    prefix.assign(line.substr(0, split));
    text.assign(line.substr(split));
    return true;
}
