#include "rules/RulePair.h"

#include "rules/RuleFactory.h"
#include "rules/RuleTextReader.h"
#include "rules/RuleTextWriter.h"
#include "rules/WordRule.h"

bool RulePair::Match(Email& mail) const {
    if (!rules[0]) {
        return false;
    }
    if (!rules[1] && !rules[2]) {
        return rules[0]->Match(mail);
    }
    // Every rule is evaluated, without a short cut.
    bool all = true;
    bool any = false;
    for (const auto& rule : rules) {
        if (rule) {
            const bool matched = rule->Match(mail);
            all = all && matched;
            any = any || matched;
        }
    }
    switch (combination) {
        case kAll:
            return all;
        case kAny:
            return any;
        default:
            return false;
    }
}

bool RulePair::ReadBody(RuleTextReader& in) {
    std::int32_t count = 0;
    if (!in.Opening() || !in.Number(combination) || !in.Token(name) || !in.Bool(caseSensitive) ||
        !in.Bool(widthSensitive) || !in.Number(count)) {
        return false;
    }
    for (std::size_t slot = 0; slot < kMaxRules && static_cast<std::int32_t>(slot) < count; ++slot) {
        std::string className;
        if (!in.Token(className)) {
            return false;
        }
        // An unknown class leaves its block unread, so the pair's closing item below will not be found.
        rules[slot] = RuleFactory::Create(className);
        if (rules[slot]) {
            rules[slot]->ReadBody(in);
        }
    }
    return in.Closing();
}

void RulePair::WriteRule(RuleTextWriter& out) const {
    std::int32_t count = 0;
    for (const auto& rule : rules) {
        count += rule ? 1 : 0;
    }
    out.Item("Rule");
    out.Item("{");
    out.Number(combination);
    out.Item(name);
    out.Bool(caseSensitive);
    out.Bool(widthSensitive);
    out.Number(count);
    for (const auto& rule : rules) {
        if (rule) {
            rule->WriteRule(out);
        }
    }
    out.Item("}");
}

void RulePair::Clear() {
    for (auto& rule : rules) {
        rule.reset();
    }
    combination = 0;
}

void RulePair::SetCaseSensitive(bool value) {
    caseSensitive = value;
    for (auto& rule : rules) {
        if (auto* word = dynamic_cast<WordRule*>(rule.get())) {
            word->SetCaseSensitive(value);
        }
    }
}

void RulePair::SetWidthSensitive(bool value) {
    widthSensitive = value;
    for (auto& rule : rules) {
        if (auto* word = dynamic_cast<WordRule*>(rule.get())) {
            word->SetWidthSensitive(value);
        }
    }
}
