#include "mail/MailHeader.h"

bool MailHeader::Parse(std::string_view line) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    if (line.front() == ' ' || line.front() == '\t') {
        return false;
    }
    name.assign(line.substr(0, colon));
    value.assign(line.substr(colon + 2));
    return true;
}

bool MailHeader::AppendContinuation(std::string_view line) {
    value.reserve(value.size() + 2 + line.size());
    value += "\r\n";
    value += line;
    return true;
}
