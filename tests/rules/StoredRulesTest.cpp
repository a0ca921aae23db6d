// The rule set as the translate thread reads it: the "Mailer Rule" value of the settings store.
#include <gtest/gtest.h>

#include "rules/RuleList.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

TEST(StoredRules, LoadsTheMailerRuleValue) {
    TempRegistryFolder registry;
    const std::string text = "\x8B\x8B\x97\xBF urgent";  // Shift_JIS with a blank: the text is length-counted
    const std::string rules = "Rule\n{\n1\nPay\n0\n0\n1\nWordContainSubjectRule\n{\nWordRule\n{\nMailRule\n{\n0\n}\n" +
                              std::to_string(text.size()) + "\n" + text + "\n1\n0\n0\n}\n}\n}\n";
    ASSERT_TRUE(raw::Set(raw::kRuleKey, "Mailer Rule", win32::REG_SZ, rules + std::string(1, '\0')));
    RuleList list;
    ASSERT_TRUE(list.LoadStoredRules());
    ASSERT_EQ(list.pairs.size(), 1u);
    EXPECT_EQ(list.SaveRules(), rules);
}

TEST(StoredRules, AnAbsentValueIsAnEmptyRuleSet) {
    TempRegistryFolder registry;
    RuleList list;
    list.LoadRules("Rule\n{\n1\nOld\n1\n1\n0\n}\n");
    EXPECT_TRUE(list.LoadStoredRules());
    EXPECT_TRUE(list.pairs.empty());
}

}  // namespace
