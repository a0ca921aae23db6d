// The rule on the charset of the mail: operator 1 same charset, 2 other charset.
#pragma once

#include "rules/Rule.h"

class CharsetMessageRule : public Rule {
public:
    CharsetMessageRule() : Rule(kCharsetMessage, "CharsetMessageRule") {}

    bool Match(Email& mail) const override;
    bool ReadBody(RuleTextReader& in) override { return ReadOperatorBlock(in, op, charset); }
    void WriteRule(RuleTextWriter& out) const override { WriteOperatorBlock(out, op, charset); }
    bool IsValid() const override { return op != kUnset && charset != 0; }

    std::int32_t op = kUnset;
    std::int32_t charset = 0;
};
