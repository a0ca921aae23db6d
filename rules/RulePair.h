// A named group of up to three rules combined with AND or OR; the unit the user edits. Owns its rules.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "rules/Rule.h"

class RulePair {
public:
    enum Combination : std::int32_t { kAll = 1, kAny = 2 };
    static constexpr std::size_t kMaxRules = 3;

    RulePair() = default;
    virtual ~RulePair() = default;
    RulePair(const RulePair&) = delete;
    RulePair& operator=(const RulePair&) = delete;

    virtual bool Match(Email& mail) const;
    // Reads the pair block that follows the "Rule" token.
    virtual bool ReadBody(RuleTextReader& in);
    // Writes "Rule" and the pair block.
    virtual void WriteRule(RuleTextWriter& out) const;
    // Deletes the rules and leaves the combination unset.
    virtual void Clear();
    virtual bool GetCaseSensitive() const { return caseSensitive; }
    // Also sets the flag of every word rule of the pair.
    virtual void SetCaseSensitive(bool value);
    virtual bool GetWidthSensitive() const { return widthSensitive; }
    virtual void SetWidthSensitive(bool value);

    std::int32_t combination = kAll;
    std::array<std::unique_ptr<Rule>, kMaxRules> rules;
    std::string name;  // one token: no blanks

private:
    bool caseSensitive = true;
    bool widthSensitive = true;
};
