#include "settingsui/SettingsApi.h"

#include <fstream>
#include <optional>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "rules/RuleTextImport.h"
#include "settings/SettingCatalog.h"
#include "settingsui/RuleJson.h"

using nlohmann::json;

namespace {

constexpr std::streamoff kLogTailBytes = 64 * 1024;

const char* ProblemCode(SettingProblem::Code code) {
    switch (code) {
    case SettingProblem::kOutOfRange:
        return "range";
    case SettingProblem::kNotUtf8:
        return "utf8";
    case SettingProblem::kNotShiftJis:
        return "shift-jis";
    case SettingProblem::kUnknownEngine:
        return "engine";
    }
    return "value";
}

// The editor's pairs as rule text, or the problems that keep them from being one.
std::optional<std::string> RuleTextOf(const json& request, json& problems) {
    RuleList rules;
    problems = RulesFromJson(request.at("pairs"), rules);
    if (!problems.empty()) {
        return std::nullopt;
    }
    return rules.SaveRules();
}

}  // namespace

json SettingsSnapshot() {
    json settings = json::array();
    for (const SettingDefinition& setting : SettingDefinitions()) {
        const std::optional<std::string> value = ReadSettingText(setting);
        settings.push_back({{"name", setting.name},
                            {"type", setting.type == win32::REG_DWORD ? "number" : "text"},
                            {"default", setting.defaultText},
                            {"minimum", setting.minimum},
                            {"maximum", setting.maximum},
                            {"meaning", setting.meaning},
                            {"value", value ? json(*value) : json(nullptr)}});
    }
    json engines = json::array();
    for (const char* engine : EngineNames()) {
        engines.push_back(engine);
    }
    return {{"settings", std::move(settings)}, {"engines", std::move(engines)}};
}

ApiAnswer StoreSettings(const json& request) {
    const json& values = request.at("values");
    json problems = json::object();
    for (const auto& [name, value] : values.items()) {
        const SettingDefinition* setting = FindSetting(name);
        if (setting == nullptr) {
            problems[name] = {{"code", "unknown"}, {"message", "unknown setting"}};
            continue;
        }
        const std::string text = value.get<std::string>();
        if (const std::optional<SettingProblem> problem = CheckSettingValue(*setting, text)) {
            problems[name] = {{"code", ProblemCode(problem->code)},
                              {"minimum", problem->minimum},
                              {"maximum", problem->maximum},
                              {"message", problem->Describe(*setting)}};
        }
    }
    if (!problems.empty()) {
        return {400, {{"problems", std::move(problems)}}};
    }
    for (const auto& [name, value] : values.items()) {
        if (!WriteSettingText(*FindSetting(name), value.get<std::string>())) {
            return {500, {{"error", "cannot write " + name + " in " + win32::RegistryFolder()}}};
        }
    }
    return {200, {{"stored", values.size()}}};
}

json RulesSnapshot() {
    const std::string ansi = ReadRuleText();
    RuleList rules;
    const bool complete = rules.LoadRules(ansi);
    return {{"text", win32::AnsiToUtf8(ansi)}, {"pairs", RulesToJson(rules)}, {"complete", complete}};
}

ApiAnswer StoreRules(const json& request) {
    json problems;
    const std::optional<std::string> text = RuleTextOf(request, problems);
    if (!text) {
        return {400, {{"problems", std::move(problems)}}};
    }
    if (!WriteRuleText(*text)) {
        return {500, {{"error", "cannot write the rules in " + win32::RegistryFolder()}}};
    }
    return {200, {{"text", win32::AnsiToUtf8(*text)}}};
}

ApiAnswer ParseRuleText(const json& request) {
    RuleList rules;
    const RuleTextImport checked = ImportRuleText(request.at("text").get<std::string>(), rules);
    if (checked.outcome != RuleTextImport::kReadable) {
        return {400,
                {{"problem",
                  {{"code", checked.outcome == RuleTextImport::kNotText ? "not-text" : "malformed"},
                   {"pairsRead", checked.pairsRead}}}}};
    }
    return {200, {{"pairs", RulesToJson(rules)}}};
}

ApiAnswer FormatRules(const json& request) {
    json problems;
    const std::optional<std::string> text = RuleTextOf(request, problems);
    if (!text) {
        return {400, {{"problems", std::move(problems)}}};
    }
    return {200, {{"text", win32::AnsiToUtf8(*text)}}};
}

json LogTail(const std::string& path, std::size_t lineCount) {
    json lines = json::array();
    std::ifstream log(path, std::ios::binary);
    if (log) {
        log.seekg(0, std::ios::end);
        const std::streamoff size = log.tellg();
        const std::streamoff start = size > kLogTailBytes ? size - kLogTailBytes : 0;
        log.seekg(start);
        std::string line;
        if (start > 0) {
            std::getline(log, line);  // a line cut by the start
        }
        std::vector<std::string> all;
        while (std::getline(log, line)) {
            all.push_back(std::move(line));
        }
        for (std::size_t i = all.size() > lineCount ? all.size() - lineCount : 0; i < all.size(); ++i) {
            lines.push_back(std::move(all[i]));
        }
    }
    return {{"path", path}, {"lines", std::move(lines)}};
}
