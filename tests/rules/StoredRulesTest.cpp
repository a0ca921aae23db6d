// The rule set as the translate thread reads it: the "Mailer Rule" value of the settings store.
#include <gtest/gtest.h>

#include "rules/RuleList.h"
#include "settings/TempRegistryFolder.h"

namespace {

TEST(StoredRules, AnAbsentValueIsAnEmptyRuleSet) {
    TempRegistryFolder registry;
    RuleList list;
    list.LoadRules("Rule\n{\n1\nOld\n1\n1\n0\n}\n");
    EXPECT_TRUE(list.LoadStoredRules());
    EXPECT_TRUE(list.pairs.empty());
}

}  // namespace
