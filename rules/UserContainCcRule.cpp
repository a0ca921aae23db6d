#include "rules/UserContainCcRule.h"

bool UserContainCcRule::Match(Email& mail) const {
    std::string value;
    return SingleHeaderValue(mail, "Cc", value) && MatchText(value);
}
