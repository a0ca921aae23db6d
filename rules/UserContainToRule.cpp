#include "rules/UserContainToRule.h"

bool UserContainToRule::Match(Email& mail) const {
    std::string value;
    return SingleHeaderValue(mail, "To", value) && MatchText(value);
}
