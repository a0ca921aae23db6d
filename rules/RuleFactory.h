// Makes a rule from its class name in the rule text.
#pragma once

#include <memory>
#include <string_view>

#include "rules/Rule.h"

class RuleFactory {
public:
    // A new rule with default fields, or null for a name that is not one of the nine rule classes (compared
    // exactly, case included).
    static std::unique_ptr<Rule> Create(std::string_view className);
};
