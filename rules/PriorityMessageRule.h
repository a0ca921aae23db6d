// The rule on the X-Priority field: matches when the mail's priority level (1 highest to 5 lowest) is the
// rule's level.
#pragma once

#include "rules/Rule.h"

class PriorityMessageRule : public Rule {
public:
    PriorityMessageRule() : Rule(kPriorityMessage, "PriorityMessageRule") {}

    bool Match(Email& mail) const override;
    bool ReadBody(RuleTextReader& in) override { return ReadOperatorBlock(in, op, level); }
    void WriteRule(RuleTextWriter& out) const override { WriteOperatorBlock(out, op, level); }
    bool IsValid() const override { return op != kUnset && level != 0; }

    // Stored and checked for validity, but the level alone decides the match.
    std::int32_t op = kUnset;
    std::int32_t level = 0;
};
