#include <gtest/gtest.h>

#include "mail/MailTestSupport.h"
#include "rules/CharsetMessageRule.h"
#include "rules/ContentTypeMessageRule.h"
#include "rules/MailSizeRule.h"
#include "rules/PriorityMessageRule.h"
#include "rules/RuleList.h"
#include "rules/UserContainCcRule.h"
#include "rules/UserContainFromRule.h"
#include "rules/UserContainToRule.h"
#include "rules/WordContainMessageRule.h"
#include "rules/WordContainSubjectRule.h"

namespace {

using mailtest::Mail;

template <typename T>
std::unique_ptr<T> Word(const std::string& text, std::int32_t mode, bool caseSensitive = false,
                        bool widthSensitive = true) {
    auto rule = std::make_unique<T>();
    rule->SetText(text);
    rule->SetMatchMode(mode);
    rule->SetCaseSensitive(caseSensitive);
    rule->SetWidthSensitive(widthSensitive);
    return rule;
}

TEST(WordRule, MatchesTextByEveryMode) {
    const struct { const char* name; const char* text; std::int32_t mode; bool caseSensitive, widthSensitive;
                   const char* subject; bool expected; } cases[] = {
        {"contains, case folded", "hello", 1, false, true, "Re: HELLO world", true},
        {"contains, case kept", "hello", 1, true, true, "Re: HELLO world", false},
        {"does not contain", "hello", 2, false, true, "Re: HELLO world", false},
        {"does not contain, absent", "bye", 2, false, true, "Re: HELLO world", true},
        {"equals", "re: hello world", 3, false, true, "Re: HELLO world", true},
        {"equals needs the whole text", "hello", 3, false, true, "Re: HELLO world", false},
        {"differs", "hello", 4, false, true, "Re: HELLO world", true},
        {"begins with", "RE", 5, true, true, "RE: news", true},
        {"begins with, only contained", "RE", 5, true, true, "FW: RE: news", false},
        {"ends with", "news", 6, true, true, "RE: news", true},
        {"ends with judges the first occurrence", "ab", 6, true, true, "ab-ab", false},
        {"mode 0 never matches", "x", 0, true, true, "x", false},
        {"unknown mode never matches", "x", 9, true, true, "x", false},
        // "ＨＥＬＬＯ" in full-width capitals against "Hello".
        {"width folded", "Hello", 1, false, false, "\x82\x67\x82\x64\x82\x6B\x82\x6B\x82\x6E!", true},
        {"width kept", "Hello", 1, false, true, "\x82\x67\x82\x64\x82\x6B\x82\x6B\x82\x6E!", false},
        // Full-width small letters "ｈｉ" fold to capitals.
        {"full-width case folded", "\x82\x67\x82\x68", 3, false, true, "\x82\x88\x82\x89", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto rule = Word<WordContainSubjectRule>(c.text, c.mode, c.caseSensitive, c.widthSensitive);
        EXPECT_EQ(rule->MatchText(c.subject), c.expected);
    }
}

// A header rule needs exactly one field of its name, a body rule a body that decodes.
// The fields hold "山田" (From) and "会議" (Subject) in ISO-2022-JP.
TEST(WordRule, ReadsItsHeaderOrBody) {
    auto mail = Mail({"From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@example.jp>", "To: Bob <bob@example.net>",
                      "Cc: boss@example.net", "Subject: =?ISO-2022-JP?B?GyRCMnE1RBsoQg==?= today"},
                     {"First line", "", "Please review the URGENT report."});
    auto twice = Mail({"Subject: hello", "Subject: hello"}), none = Mail({"From: a@example.org"});
    auto undecodable = Mail({"Content-Transfer-Encoding: base64"}, {"AAAA"});
    const struct { const char* name; std::unique_ptr<WordRule> rule; Email& mail; bool expected; } cases[] = {
        {"Subject decoded", Word<WordContainSubjectRule>("\x89\xEF\x8B\x63 today", 3), *mail, true},
        {"From decoded, display name included", Word<UserContainFromRule>("\x8E\x52\x93\x63 <", 1), *mail, true},
        {"To as received", Word<UserContainToRule>("bob <bob@", 5), *mail, true},
        {"Cc as received", Word<UserContainCcRule>("example.net", 6), *mail, true},
        {"body line", Word<WordContainMessageRule>("urgent report", 1), *mail, true},
        {"body line, case kept", Word<WordContainMessageRule>("urgent", 1, true), *mail, false},
        {"body: one line lacks it", Word<WordContainMessageRule>("report", 2), *mail, true},
        {"two Subject fields", Word<WordContainSubjectRule>("hello", 1), *twice, false},
        {"no Subject field", Word<WordContainSubjectRule>("hello", 1), *none, false},
        {"no Subject field, does not contain", Word<WordContainSubjectRule>("hello", 2), *none, false},
        {"body that does not decode", Word<WordContainMessageRule>("x", 2), *undecodable, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rule->Match(c.mail), c.expected);
    }
}

// A rule of class T that compares the mail's value by `op` with `value`.
template <typename T>
std::unique_ptr<Rule> Compare(std::int32_t T::*field, std::int32_t op, std::int32_t value) {
    auto rule = std::make_unique<T>();
    rule->op = op;
    (*rule).*field = value;
    return rule;
}

TEST(ValueRules, MatchCodesAndSizes) {
    auto mail = Mail({"Content-Type: text/plain; charset=ISO-2022-JP"});  // contentType 1, charset 1
    const std::int32_t size = static_cast<std::int32_t>(mail->size);
    using Type = ContentTypeMessageRule;
    using Charset = CharsetMessageRule;
    const struct { const char* name; std::unique_ptr<Rule> rule; bool expected; } cases[] = {
        {"type equal", Compare(&Type::contentType, 1, 1), true},
        {"type equal, other", Compare(&Type::contentType, 1, 2), false},
        {"type differs", Compare(&Type::contentType, 2, 2), true},
        {"type code 0 never matches", Compare(&Type::contentType, 2, 0), false},
        {"type operator unset", Compare(&Type::contentType, 0, 1), false},
        {"charset equal", Compare(&Charset::charset, 1, 1), true},
        {"charset differs", Compare(&Charset::charset, 2, 1), false},
        {"charset operator unset", Compare(&Charset::charset, 0, 1), false},
        {"larger than 50", Compare(&MailSizeRule::limit, 1, 50), true},
        {"larger than its own size", Compare(&MailSizeRule::limit, 1, size), false},
        {"smaller than one more", Compare(&MailSizeRule::limit, 2, size + 1), true},
        {"smaller than its own size", Compare(&MailSizeRule::limit, 2, size), false},
        {"size operator unset", Compare(&MailSizeRule::limit, 0, 0), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rule->Match(*mail), c.expected);
    }
}

TEST(PriorityMessageRule, ReadsLevelsFromDigitsAndWords) {
    const struct { const char* value; std::string matchingLevels; } cases[] = {
        {"1 (Highest)", "1"}, {"3", "3"},     {"5 (Lowest)", "5"}, {"High", "12"}, {"high", "12"},
        {"Normal", "3"},      {"LOW", "45"}, {"Urgent", ""},      {"   ", ""},       {"", ""},
        {"6", ""},            {" 1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        auto mail = Mail({std::string("X-Priority: ") + c.value});
        for (std::int32_t level = 1; level <= 5; ++level) {
            PriorityMessageRule rule;
            rule.level = level;
            const bool expected = c.matchingLevels.find('0' + level) != std::string::npos;
            EXPECT_EQ(rule.Match(*mail), expected) << "level " << level;
        }
    }
}

// A list matches when any of its pairs does; an empty one matches nothing.
TEST(RulePair, CombinesItsRulesAndAListItsPairs) {
    auto mail = Mail({"Subject: quarterly report"});
    auto yes = [] { return Word<WordContainSubjectRule>("report", 1); };
    auto no = [] { return Word<WordContainSubjectRule>("invoice", 1); };
    // `rules`: which present rules match.
    const struct { const char* name; std::int32_t combination; std::vector<bool> rules; bool expected; } cases[] = {
        {"no rule", 1, {}, false},
        {"one rule ignores the combination", 0, {true}, true},
        {"one false rule", 2, {false}, false},
        {"all: three true", 1, {true, true, true}, true},
        {"all: one false of three", 1, {true, false, true}, false},
        {"any: one true of three", 2, {false, false, true}, true},
        {"any: none true", 2, {false, false}, false},
        {"combination 0 with two", 0, {true, true}, false},
        {"combination 0 with three", 0, {true, true, true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RulePair pair;
        pair.combination = c.combination;
        for (std::size_t i = 0; i < c.rules.size(); ++i) {
            pair.rules[i] = c.rules[i] ? yes() : no();
        }
        EXPECT_EQ(pair.Match(*mail), c.expected);
    }
    RuleList list;
    EXPECT_FALSE(list.Match(*mail));
    for (const bool match : {false, true}) {
        list.pairs.push_back(std::make_unique<RulePair>());
        list.pairs.back()->rules[0] = match ? yes() : no();
    }
    EXPECT_TRUE(list.Match(*mail));
}

}  // namespace
