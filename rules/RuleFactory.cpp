#include "rules/RuleFactory.h"

#include "rules/CharsetMessageRule.h"
#include "rules/ContentTypeMessageRule.h"
#include "rules/MailSizeRule.h"
#include "rules/PriorityMessageRule.h"
#include "rules/UserContainCcRule.h"
#include "rules/UserContainFromRule.h"
#include "rules/UserContainToRule.h"
#include "rules/WordContainMessageRule.h"
#include "rules/WordContainSubjectRule.h"

namespace {

template <typename T>
std::unique_ptr<Rule> Make() {
    return std::make_unique<T>();
}

struct Entry {
    std::string_view name;
    std::unique_ptr<Rule> (*make)();
};

constexpr Entry kRuleClasses[] = {
    {"WordContainSubjectRule", Make<WordContainSubjectRule>},
    {"UserContainFromRule", Make<UserContainFromRule>},
    {"WordContainMessageRule", Make<WordContainMessageRule>},
    {"ContentTypeMessageRule", Make<ContentTypeMessageRule>},
    {"CharsetMessageRule", Make<CharsetMessageRule>},
    {"MailSizeRule", Make<MailSizeRule>},
    {"PriorityMessageRule", Make<PriorityMessageRule>},
    {"UserContainToRule", Make<UserContainToRule>},
    {"UserContainCcRule", Make<UserContainCcRule>},
};

}  // namespace

std::unique_ptr<Rule> RuleFactory::Create(std::string_view className) {
    for (const Entry& entry : kRuleClasses) {
        if (entry.name == className) {
            return entry.make();
        }
    }
    return nullptr;
}
