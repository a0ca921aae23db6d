#include "rules/UserContainFromRule.h"

#include "mail/MailCodec.h"

bool UserContainFromRule::Match(Email& mail) const {
    std::string value;
    if (!SingleHeaderValue(mail, "From", value)) {
        return false;
    }
    std::string decoded;
    MailCodec().DecodeHeaderValue(value, decoded);
    return MatchText(decoded);
}
