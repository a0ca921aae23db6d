// The word rule on the whole From value (display name included), read with its encoded words decoded.
#pragma once

#include "rules/WordRule.h"

class UserContainFromRule : public WordRule {
public:
    UserContainFromRule() : WordRule(kUserContainFrom, "UserContainFromRule") {}
    bool Match(Email& mail) const override;
};
