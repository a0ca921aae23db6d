// What the settings page's calls do with the settings store: the settings and the rules as JSON, their checked
// storing, the conversion between the rule editor and the rule text, the server log's last lines. Callers
// serialise the storing calls; each call opens and closes its registry keys.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

struct ApiAnswer {
    int status = 200;
    nlohmann::json body;
};

// {settings: [{name, type ("number"|"text"), default, minimum, maximum, meaning, value (null when absent)}],
//  engines: [...]}
nlohmann::json SettingsSnapshot();
// {values: {name: text}}: all stored, or none and 400 with {problems: {name: {code, minimum, maximum, message}}}.
ApiAnswer StoreSettings(const nlohmann::json& request);

// {text, pairs, complete}: the stored rule text and the pairs read from it.
nlohmann::json RulesSnapshot();
// {pairs}: stored as rule text, or nothing stored and 400 with {problems: [...]} (see RulesFromJson).
ApiAnswer StoreRules(const nlohmann::json& request);
// {text} to {pairs}, storing nothing; 400 with {problem: {code, pairsRead}} for a text that is not a rule text.
ApiAnswer ParseRuleText(const nlohmann::json& request);
// {pairs} to {text}, storing nothing; 400 with {problems} as StoreRules.
ApiAnswer FormatRules(const nlohmann::json& request);

// {path, lines}: the last lines of the server's log; no lines when it does not exist.
nlohmann::json LogTail(const std::string& path, std::size_t lineCount);
