// The word rule on the whole To value, as received.
#pragma once

#include "rules/WordRule.h"

class UserContainToRule : public WordRule {
public:
    UserContainToRule() : WordRule(kUserContainTo, "UserContainToRule") {}
    bool Match(Email& mail) const override;
};
