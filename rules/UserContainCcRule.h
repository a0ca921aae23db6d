// The word rule on the whole Cc value, as received.
#pragma once

#include "rules/WordRule.h"

class UserContainCcRule : public WordRule {
public:
    UserContainCcRule() : WordRule(kUserContainCc, "UserContainCcRule") {}
    bool Match(Email& mail) const override;
};
