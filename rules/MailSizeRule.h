// The rule on the size of the mail in octets: operator 1 larger than the limit, 2 smaller than the limit.
#pragma once

#include "rules/Rule.h"

class MailSizeRule : public Rule {
public:
    MailSizeRule() : Rule(kMailSize, "MailSizeRule") {}

    bool Match(Email& mail) const override;
    bool ReadBody(RuleTextReader& in) override { return ReadOperatorBlock(in, op, limit); }
    void WriteRule(RuleTextWriter& out) const override { WriteOperatorBlock(out, op, limit); }
    bool IsValid() const override { return op != kUnset; }

    std::int32_t op = kUnset;
    // In whatever unit the rule editor stores; compared with octets as it stands.
    std::int32_t limit = 50;
};
