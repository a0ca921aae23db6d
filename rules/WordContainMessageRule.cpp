#include "rules/WordContainMessageRule.h"

#include "mail/MailCodec.h"

bool WordContainMessageRule::Match(Email& mail) const {
    std::vector<std::string> lines;
    if (!MailCodec().DecodeBody(mail, lines)) {
        return false;
    }
    const auto prepared = Prepare();
    for (const std::string& line : lines) {
        if (MatchPrepared(line, *prepared)) {
            return true;
        }
    }
    return false;
}
