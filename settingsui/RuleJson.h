// The rule list as the settings page's editor holds it: pairs and their rules as JSON, and back, with every field
// that the editor must refuse named. Conversions only; any thread may call.
#pragma once

#include <nlohmann/json.hpp>

#include "rules/RuleList.h"

// Pairs as the editor shows them: [{name, combination, caseSensitive, widthSensitive, rules: [{kind (the rule's
// class name), text, matchMode, caseSensitive, widthSensitive} or {kind, operator, value}]}]. Text in UTF-8.
nlohmann::json RulesToJson(const RuleList& rules);

// Builds the list from the editor's pairs. Each field that cannot be stored or would make a rule that never
// matches is listed as {pair, rule (null for the pair's own fields), field, code}; the list is then incomplete.
nlohmann::json RulesFromJson(const nlohmann::json& pairs, RuleList& rules);
