#include "rules/WordContainMessageRule.h"

#include "mail/MailCodec.h"

bool WordContainMessageRule::Match(Email& mail) const {
    std::vector<std::string> lines;
    if (!MailCodec().DecodeBody(mail, lines)) {
        return false;
    }
    for (const std::string& line : lines) {
        if (MatchText(line)) {
            return true;
        }
    }
    return false;
}
