// The word rule on the body: true when one decoded body line satisfies it.
#pragma once

#include "rules/WordRule.h"

class WordContainMessageRule : public WordRule {
public:
    WordContainMessageRule() : WordRule(kWordContainMessage, "WordContainMessageRule") {}
    bool Match(Email& mail) const override;
};
