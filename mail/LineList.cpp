#include "mail/LineList.h"

std::string LineList::Joined() const {
    std::size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size() + 2;
    }
    std::string joined;
    joined.reserve(total);
    for (const std::string& line : lines) {
        joined += line;
        joined += "\r\n";
    }
    return joined;
}
