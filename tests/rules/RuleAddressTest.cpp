#include <gtest/gtest.h>

#include "rules/UserContainFromRule.h"

namespace {

TEST(RuleAddress, ExtractsTheAddressOfAMailbox) {
    const struct { const char* text; bool found; const char* address; } cases[] = {
        {"Alice <alice@example.org>", true, "alice@example.org"},
        {"alice@example.org (Alice Example)", true, "alice@example.org"},
        {"(Alice) alice @ example.org", true, "alice@example.org"},
        {"alice@example.org ()", true, "alice@example.org"},
        {"Name (no address)", false, ""},
        {"x@y (", true, "x@y ("},
        {"bare@example.org", true, "bare@example.org"},
    };
    const UserContainFromRule rule;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string address;
        EXPECT_EQ(rule.ExtractAddress(c.text, address), c.found);
        EXPECT_EQ(address, c.address);
    }
}

TEST(RuleAddress, HandlesLists) {
    const UserContainFromRule rule;
    std::vector<std::string> addresses;
    EXPECT_FALSE(rule.ExtractAddressList("A <a@x.org>, nobody, b@y.org", addresses));
    EXPECT_EQ(addresses, (std::vector<std::string>{"a@x.org", " b@y.org"}));

    std::vector<std::string> domains;
    EXPECT_TRUE(rule.DomainPartList("A <a@x.org>,example.com", domains));
    EXPECT_EQ(domains, (std::vector<std::string>{"@x.org", "example.com"}));

    std::vector<std::string> pieces;
    EXPECT_TRUE(rule.SplitList(" one , two,,\tthree ", pieces));
    EXPECT_EQ(pieces, (std::vector<std::string>{"one", "two", "", "three"}));
}

}  // namespace
