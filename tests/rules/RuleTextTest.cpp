#include <gtest/gtest.h>

#include <tuple>

#include "rules/CharsetMessageRule.h"
#include "rules/MailSizeRule.h"
#include "rules/PriorityMessageRule.h"
#include "rules/RuleList.h"
#include "rules/WordContainSubjectRule.h"

namespace {

std::string WordRuleEntry(const std::string& className, int type, const std::string& text, int mode = 1) {
    return className + "\n{\nWordRule\n{\nMailRule\n{\n" + std::to_string(type) + "\n}\n" +
           std::to_string(text.size()) + "\n" + text + "\n" + std::to_string(mode) + "\n1\n1\n}\n}\n";
}

std::string Pair(const std::string& name, int count, const std::string& entries, int combination = 1) {
    return "Rule\n{\n" + std::to_string(combination) + "\n" + name + "\n1\n1\n" + std::to_string(count) + "\n" +
           entries + "}\n";
}

// A pair named Spam holding one Subject rule "contains urgent", case- and width-insensitive, a pair of every
// value rule class, and word rules whose texts are read by their length; any white space may separate items.
TEST(RuleText, LoadsEveryRuleClassAndSavesItBackLineForLine) {
    const std::string spam = "Rule\n{\n1\nSpam\n0\n0\n1\nWordContainSubjectRule\n{\nWordRule\n{\nMailRule\n"
                             "{\n0\n}\n6\nurgent\n1\n0\n0\n}\n}\n}\n";
    const std::string three = "Rule\n{\n2\nThree\n1\n1\n3\n"
                              "CharsetMessageRule\n{\nMailRule\n{\n4\n}\n1\n4\n}\n"
                              "MailSizeRule\n{\nMailRule\n{\n5\n}\n2\n50\n}\n"
                              "PriorityMessageRule\n{\nMailRule\n{\n6\n}\n1\n5\n}\n}\n";
    const std::string spaced = "  Rule {\t1 Spam 0 0 1\r\nWordContainSubjectRule {x WordRule { MailRule {"
                               " 0 } 6\nurgent\n1 0 0 }x } }  \n";
    const std::string mixedText = "a, b  c\x93\xFA\x96\x7B";
    const std::string words = Pair("Mixed", 1, WordRuleEntry("UserContainToRule", 7, mixedText)) +
                              Pair("Empty", 1, WordRuleEntry("WordContainMessageRule", 2, ""));
    for (const std::string& text : {spam + three + words, spaced + three + words}) {
        RuleList list;
        ASSERT_TRUE(list.LoadRules(text));
        ASSERT_EQ(list.pairs.size(), 4u);
        const RulePair& pair = *list.pairs[0];
        EXPECT_EQ(
            std::make_tuple(pair.combination, pair.name, pair.GetCaseSensitive(), pair.GetWidthSensitive()),
            std::make_tuple(1, std::string("Spam"), false, false));
        EXPECT_EQ(pair.rules[1], nullptr);
        const auto* rule = dynamic_cast<const WordContainSubjectRule*>(pair.rules[0].get());
        const RulePair& values = *list.pairs[1];
        const auto* charset = dynamic_cast<const CharsetMessageRule*>(values.rules[0].get());
        const auto* size = dynamic_cast<const MailSizeRule*>(values.rules[1].get());
        const auto* priority = dynamic_cast<const PriorityMessageRule*>(values.rules[2].get());
        const auto* mixed = dynamic_cast<const WordRule*>(list.pairs[2]->rules[0].get());
        ASSERT_TRUE(rule && charset && size && priority && mixed && list.pairs[3]->rules[0]);
        EXPECT_EQ(std::make_tuple(rule->GetRuleType(), rule->GetText(), rule->GetMatchMode(),
                                  rule->GetCaseSensitive(), rule->GetWidthSensitive(), rule->IsValid()),
                  std::make_tuple(0, std::string("urgent"), 1, false, false, true));
        EXPECT_EQ(std::make_tuple(values.combination, charset->GetRuleType(), charset->op, charset->charset,
                                  size->op, size->limit, priority->GetRuleType(), priority->op,
                                  priority->level),
                  std::make_tuple(2, 4, 1, 4, 2, 50, 6, 1, 5));
        EXPECT_EQ(mixed->GetText(), mixedText);
        EXPECT_FALSE(list.pairs[3]->rules[0]->IsValid()) << "an empty text makes an invalid rule";
        EXPECT_EQ(list.SaveRules(), spam + three + words);
    }
}

TEST(RuleText, StopsAtAMalformedPairAndKeepsThePairsBefore) {
    const std::string good = Pair("First", 1, WordRuleEntry("WordContainSubjectRule", 0, "hello"));
    const std::string alsoGood = Pair("Last", 1, WordRuleEntry("UserContainCcRule", 8, "boss"));
    const struct { const char* name; std::string text; bool result; std::size_t pairs; } cases[] = {
        {"empty text", "", true, 0},
        {"white space only", " \n\t\r\n", true, 0},
        {"two good pairs", good + alsoGood, true, 2},
        {"name with a blank", good + Pair("Two words", 1, WordRuleEntry("WordContainSubjectRule", 0, "x")) +
                                  alsoGood, false, 1},
        {"count 2 with one entry", good + Pair("Short", 2, WordRuleEntry("WordContainSubjectRule", 0, "x")), false, 1},
        {"count 4", good + Pair("Four", 4, WordRuleEntry("UserContainToRule", 7, "a") +
         WordRuleEntry("UserContainToRule", 7, "b") + WordRuleEntry("UserContainToRule", 7, "c") +
         WordRuleEntry("UserContainToRule", 7, "d")), false, 1},
        {"unknown class", good + Pair("Odd", 1, WordRuleEntry("wordContainSubjectRule", 0, "x")) + alsoGood, false, 1},
        {"not a Rule token", good + "rule\n" + alsoGood, false, 1},
        {"missing opening", "Rule\n1\nX\n1\n1\n0\n}\n", false, 0},
        {"not MailRule", Pair("Bad", 1, "CharsetMessageRule\n{\nMail\n{\n4\n}\n1\n1\n}\n"), false, 0},
        {"text longer than the rest", "Rule\n{\n1\nX\n1\n1\n1\nWordContainSubjectRule\n{\nWordRule\n{\nMailRule\n"
                                      "{\n0\n}\n99\nshort\n", false, 0},
        {"truncated after the count", good + "Rule\n{\n1\nX\n1\n1\n1\n", false, 1},
        {"number that is not one", "Rule\n{\none\nX\n1\n1\n0\n}\n", false, 0},
        {"pair without rules", "Rule\n{\n1\nNone\n1\n1\n0\n}\n", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RuleList list;
        list.LoadRules(good);  // a load starts from an empty list
        EXPECT_EQ(list.LoadRules(c.text), c.result);
        EXPECT_EQ(list.pairs.size(), c.pairs);
    }
}

}  // namespace
