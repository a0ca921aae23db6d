#include "settingsui/RuleJson.h"

#include <limits>

#include "platform/CodePage.h"
#include "rules/CharsetMessageRule.h"
#include "rules/ContentTypeMessageRule.h"
#include "rules/MailSizeRule.h"
#include "rules/PriorityMessageRule.h"
#include "rules/RuleFactory.h"
#include "rules/WordRule.h"

using nlohmann::json;

namespace {

// The operator and the compared value of the four rules that are not word rules.
struct OperatorFields {
    std::int32_t* op;
    std::int32_t* value;
    std::int32_t lowest;
    std::int32_t highest;
};

std::optional<OperatorFields> OperatorFieldsOf(Rule& rule) {
    if (auto* type = dynamic_cast<ContentTypeMessageRule*>(&rule)) {
        return OperatorFields{&type->op, &type->contentType, 1, 2};
    }
    if (auto* charset = dynamic_cast<CharsetMessageRule*>(&rule)) {
        return OperatorFields{&charset->op, &charset->charset, 1, 4};
    }
    if (auto* size = dynamic_cast<MailSizeRule*>(&rule)) {
        return OperatorFields{&size->op, &size->limit, 0, std::numeric_limits<std::int32_t>::max()};
    }
    if (auto* priority = dynamic_cast<PriorityMessageRule*>(&rule)) {
        return OperatorFields{&priority->op, &priority->level, 1, 5};
    }
    return std::nullopt;
}

json RuleToJson(const Rule& rule) {
    json out = {{"kind", rule.ClassName()}};
    if (const auto* word = dynamic_cast<const WordRule*>(&rule)) {
        out["text"] = win32::AnsiToUtf8(word->GetText());
        out["matchMode"] = word->GetMatchMode();
        out["caseSensitive"] = word->GetCaseSensitive();
        out["widthSensitive"] = word->GetWidthSensitive();
    } else if (const std::optional<OperatorFields> fields = OperatorFieldsOf(const_cast<Rule&>(rule))) {
        out["operator"] = *fields->op;
        out["value"] = *fields->value;
    }
    return out;
}

// The text in code page 932, or nothing when that code page cannot hold it.
std::optional<std::string> ToAnsi(const std::string& utf8) {
    if (!win32::IsValidUtf8(utf8) || utf8.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    std::string ansi = win32::Utf8ToAnsi(utf8);
    if (win32::AnsiToUtf8(ansi) != utf8) {
        return std::nullopt;
    }
    return ansi;
}

class ProblemList {
public:
    void Add(std::size_t pair, std::optional<std::size_t> rule, const char* field, const char* code) {
        problems.push_back({{"pair", pair}, {"rule", rule ? json(*rule) : json(nullptr)}, {"field", field},
                            {"code", code}});
    }
    json problems = json::array();
};

std::unique_ptr<Rule> RuleFromJson(const json& in, std::size_t pairIndex, std::size_t ruleIndex,
                                   ProblemList& problems) {
    std::unique_ptr<Rule> rule = RuleFactory::Create(in.value("kind", std::string()));
    if (!rule) {
        problems.Add(pairIndex, ruleIndex, "kind", "unknown");
        return nullptr;
    }
    if (auto* word = dynamic_cast<WordRule*>(rule.get())) {
        const std::optional<std::string> text = ToAnsi(in.value("text", std::string()));
        if (!text) {
            problems.Add(pairIndex, ruleIndex, "text", "not-shift-jis");
        } else if (text->empty()) {
            problems.Add(pairIndex, ruleIndex, "text", "empty");
        } else {
            word->SetText(*text);
        }
        const std::int32_t mode = in.value("matchMode", 0);
        if (mode < WordRule::kContains || mode > WordRule::kEndsWith) {
            problems.Add(pairIndex, ruleIndex, "matchMode", "unset");
        }
        word->SetMatchMode(mode);
        word->SetCaseSensitive(in.value("caseSensitive", true));
        word->SetWidthSensitive(in.value("widthSensitive", true));
    } else if (const std::optional<OperatorFields> fields = OperatorFieldsOf(*rule)) {
        *fields->op = in.value("operator", 0);
        *fields->value = in.value("value", 0);
        if (*fields->op != Rule::kFirst && *fields->op != Rule::kSecond) {
            problems.Add(pairIndex, ruleIndex, "operator", "unset");
        }
        if (*fields->value < fields->lowest || *fields->value > fields->highest) {
            problems.Add(pairIndex, ruleIndex, "value", "out-of-range");
        }
    }
    return rule;
}

}  // namespace

json RulesToJson(const RuleList& rules) {
    json pairs = json::array();
    for (const std::unique_ptr<RulePair>& pair : rules.pairs) {
        json ruleArray = json::array();
        for (const std::unique_ptr<Rule>& rule : pair->rules) {
            if (rule) {
                ruleArray.push_back(RuleToJson(*rule));
            }
        }
        pairs.push_back({{"name", win32::AnsiToUtf8(pair->name)},
                         {"combination", pair->combination},
                         {"caseSensitive", pair->GetCaseSensitive()},
                         {"widthSensitive", pair->GetWidthSensitive()},
                         {"rules", std::move(ruleArray)}});
    }
    return pairs;
}

json RulesFromJson(const json& pairs, RuleList& rules) {
    ProblemList problems;
    rules.Clear();
    for (std::size_t pairIndex = 0; pairIndex < pairs.size(); ++pairIndex) {
        const json& in = pairs.at(pairIndex);
        auto pair = std::make_unique<RulePair>();
        const std::optional<std::string> name = ToAnsi(in.value("name", std::string()));
        if (!name) {
            problems.Add(pairIndex, std::nullopt, "name", "not-shift-jis");
        } else if (name->empty()) {
            problems.Add(pairIndex, std::nullopt, "name", "empty");
        } else if (name->find_first_of(" \t\r\n\v\f") != std::string::npos) {
            // The name is one token of the rule text.
            problems.Add(pairIndex, std::nullopt, "name", "blank");
        } else {
            pair->name = *name;
        }
        pair->combination = in.value("combination", 0);
        if (pair->combination != RulePair::kAll && pair->combination != RulePair::kAny) {
            problems.Add(pairIndex, std::nullopt, "combination", "unset");
        }
        const json& ruleArray = in.at("rules");
        if (ruleArray.empty()) {
            problems.Add(pairIndex, std::nullopt, "rules", "empty");
        } else if (ruleArray.size() > RulePair::kMaxRules) {
            problems.Add(pairIndex, std::nullopt, "rules", "too-many");
        }
        for (std::size_t ruleIndex = 0; ruleIndex < ruleArray.size() && ruleIndex < RulePair::kMaxRules;
             ++ruleIndex) {
            pair->rules[ruleIndex] = RuleFromJson(ruleArray.at(ruleIndex), pairIndex, ruleIndex, problems);
        }
        // Setting the pair's flags sets its word rules' flags too; the rules' own flags are put back after.
        pair->SetCaseSensitive(in.value("caseSensitive", true));
        pair->SetWidthSensitive(in.value("widthSensitive", true));
        for (std::size_t ruleIndex = 0; ruleIndex < ruleArray.size() && ruleIndex < RulePair::kMaxRules;
             ++ruleIndex) {
            if (auto* word = dynamic_cast<WordRule*>(pair->rules[ruleIndex].get())) {
                word->SetCaseSensitive(ruleArray[ruleIndex].value("caseSensitive", true));
                word->SetWidthSensitive(ruleArray[ruleIndex].value("widthSensitive", true));
            }
        }
        rules.pairs.push_back(std::move(pair));
    }
    return problems.problems;
}
