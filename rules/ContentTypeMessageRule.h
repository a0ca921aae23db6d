// The rule on the MIME type of the mail: operator 1 same type, 2 other type.
#pragma once

#include "rules/Rule.h"

class ContentTypeMessageRule : public Rule {
public:
    ContentTypeMessageRule() : Rule(kContentTypeMessage, "ContentTypeMessageRule") {}

    bool Match(Email& mail) const override;
    bool ReadBody(RuleTextReader& in) override { return ReadOperatorBlock(in, op, contentType); }
    void WriteRule(RuleTextWriter& out) const override { WriteOperatorBlock(out, op, contentType); }
    bool IsValid() const override { return op != kUnset && (contentType != 0 || subtypeMask != 0); }

    std::int32_t op = kUnset;
    std::int32_t contentType = 0;
    // Reserved for matching by subtype; never stored in the rule text, so 0 in every loaded rule. A rule with
    // only this set is valid but matches nothing, as no subtype test exists.
    std::int32_t subtypeMask = 0;
};
