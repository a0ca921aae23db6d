#include "rules/RuleList.h"

#include "rules/RuleTextReader.h"
#include "rules/RuleTextWriter.h"

bool RuleList::Match(Email& mail) const {
    for (const auto& pair : pairs) {
        if (pair->Match(mail)) {
            return true;
        }
    }
    return false;
}

bool RuleList::LoadRules(std::string_view text) {
    Clear();
    RuleTextReader in(text);
    for (std::string token; in.Token(token);) {
        if (token != "Rule") {
            return false;
        }
        auto pair = std::make_unique<RulePair>();
        if (!pair->ReadBody(in)) {
            return false;
        }
        pairs.push_back(std::move(pair));
    }
    return true;
}

std::string RuleList::SaveRules() const {
    RuleTextWriter out;
    for (const auto& pair : pairs) {
        pair->WriteRule(out);
    }
    return out.Text();
}
