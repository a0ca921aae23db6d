// The user's translation rules: a list of rule pairs that matches a mail when any pair does. Built afresh
// from the stored rule text for each decision by the translate thread; owns its pairs.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rules/RulePair.h"

class RuleList {
public:
    RuleList() = default;
    virtual ~RuleList() = default;
    RuleList(const RuleList&) = delete;
    RuleList& operator=(const RuleList&) = delete;

    // True when some pair matches; pairs are tried in order. An empty list matches nothing.
    bool Match(Email& mail) const;
    // Replaces the list by the pairs of a rule text. On a malformed text the result is false and the pairs
    // read before the fault stay in the list.
    bool LoadRules(std::string_view text);
    std::string SaveRules() const;
    void Clear() { pairs.clear(); }

    std::vector<std::unique_ptr<RulePair>> pairs;
};
