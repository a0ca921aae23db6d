#include "rules/WordContainSubjectRule.h"

#include "mail/MailCodec.h"

bool WordContainSubjectRule::Match(Email& mail) const {
    std::string value;
    if (!SingleHeaderValue(mail, "Subject", value)) {
        return false;
    }
    std::string decoded;
    MailCodec().DecodeHeaderValue(value, decoded);
    return MatchText(decoded);
}
