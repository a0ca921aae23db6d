// The rule editor's pairs as JSON: every kind of rule survives the way through the editor unchanged, and what the
// editor must refuse is named by pair, rule and field.
#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "rules/RuleList.h"
#include "settingsui/RuleJson.h"

namespace {

std::string WordRule(const char* kind, int type, const std::string& text, int mode, int caseFlag, int widthFlag) {
    return std::string(kind) + "\n{\nWordRule\n{\nMailRule\n{\n" + std::to_string(type) + "\n}\n" +
           std::to_string(text.size()) + "\n" + text + "\n" + std::to_string(mode) + "\n" + std::to_string(caseFlag) +
           "\n" + std::to_string(widthFlag) + "\n}\n}\n";
}

std::string OperatorRule(const char* kind, int type, int op, int value) {
    return std::string(kind) + "\n{\nMailRule\n{\n" + std::to_string(type) + "\n}\n" + std::to_string(op) + "\n" +
           std::to_string(value) + "\n}\n";
}

TEST(RuleJson, EveryKindOfRuleComesBackAsTheSameRuleText) {
    // The word rules' own flags differ from their pair's: the editor keeps both.
    const std::string text =
        "Rule\n{\n1\nWords\n1\n0\n3\n" +
        WordRule("WordContainSubjectRule", 0, win32::Utf8ToAnsi("Re: 至急, today"), 5, 0, 1) +
        WordRule("UserContainFromRule", 1, "boss@example.com", 6, 1, 0) +
        WordRule("WordContainMessageRule", 2, "invoice", 2, 1, 1) + "}\n" +
        "Rule\n{\n2\nMore\n0\n1\n3\n" + WordRule("UserContainToRule", 7, "me", 3, 0, 0) +
        WordRule("UserContainCcRule", 8, "list", 4, 0, 0) + OperatorRule("ContentTypeMessageRule", 3, 2, 1) + "}\n" +
        "Rule\n{\n1\nCodes\n1\n1\n3\n" + OperatorRule("CharsetMessageRule", 4, 1, 4) +
        OperatorRule("MailSizeRule", 5, 2, 4096) + OperatorRule("PriorityMessageRule", 6, 1, 2) + "}\n";
    RuleList loaded;
    ASSERT_TRUE(loaded.LoadRules(text));
    RuleList edited;
    const nlohmann::json problems = RulesFromJson(nlohmann::json::parse(RulesToJson(loaded).dump()), edited);
    EXPECT_TRUE(problems.empty()) << problems.dump();
    EXPECT_EQ(edited.SaveRules(), text);
}

TEST(RuleJson, NamesEachFieldTheEditorMustRefuse) {
    const nlohmann::json word = {{"kind", "WordContainSubjectRule"}, {"text", "x"}, {"matchMode", 1}};
    const auto pairWith = [](nlohmann::json pair) {
        nlohmann::json base = {{"name", "P"}, {"combination", 1}, {"rules", nlohmann::json::array()}};
        base.update(pair);
        return base;
    };
    struct Case {
        const char* name;
        nlohmann::json pair;
        nlohmann::json problem;  // {rule, field, code}
    };
    const Case cases[] = {
        {"empty name", pairWith({{"name", ""}, {"rules", {word}}}), {nullptr, "name", "empty"}},
        {"name with a blank", pairWith({{"name", "My rule"}, {"rules", {word}}}), {nullptr, "name", "blank"}},
        {"no rules", pairWith(nlohmann::json::object()), {nullptr, "rules", "empty"}},
        {"four rules", pairWith({{"rules", {word, word, word, word}}}), {nullptr, "rules", "too-many"}},
        {"neither all nor any", pairWith({{"combination", 0}, {"rules", {word}}}), {nullptr, "combination", "unset"}},
        {"unknown kind", pairWith({{"rules", {{{"kind", "SubjectRule"}}}}}), {0, "kind", "unknown"}},
        {"empty text", pairWith({{"rules", {{{"kind", "UserContainToRule"}, {"text", ""}, {"matchMode", 1}}}}}),
         {0, "text", "empty"}},
        {"no match mode", pairWith({{"rules", {{{"kind", "UserContainCcRule"}, {"text", "a"}}}}}),
         {0, "matchMode", "unset"}},
        {"text outside Shift_JIS", pairWith({{"rules", {word, {{"kind", "WordContainMessageRule"},
         {"text", "\xF0\x9F\x98\x80"}, {"matchMode", 1}}}}}), {1, "text", "not-shift-jis"}},
        {"no operator", pairWith({{"rules", {{{"kind", "MailSizeRule"}, {"value", 10}}}}}), {0, "operator", "unset"}},
        {"unknown charset", pairWith({{"rules", {{{"kind", "CharsetMessageRule"}, {"operator", 1}, {"value", 5}}}}}),
         {0, "value", "out-of-range"}},
        {"priority 0", pairWith({{"rules", {{{"kind", "PriorityMessageRule"}, {"operator", 1}, {"value", 0}}}}}),
         {0, "value", "out-of-range"}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        RuleList rules;
        const nlohmann::json pairs = nlohmann::json::array({pairWith({{"rules", {word}}}), testCase.pair});
        const nlohmann::json& p = testCase.problem;
        const nlohmann::json problem = {{"pair", 1}, {"rule", p[0]}, {"field", p[1]}, {"code", p[2]}};
        EXPECT_EQ(RulesFromJson(pairs, rules), nlohmann::json::array({problem}));
    }
}

}  // namespace
