#include "rules/PriorityMessageRule.h"

#include <string>

#include "mail/Email.h"
#include "mail/ShiftJisText.h"

bool PriorityMessageRule::Match(Email& mail) const {
    std::string value;
    if (!SingleHeaderValue(mail, "X-Priority", value)) {
        return false;
    }
    if (value.find_first_not_of(" \t\r\n") == std::string::npos) {
        return false;
    }
    std::int32_t mailLevel;
    if (value.front() >= '1' && value.front() <= '5') {
        mailLevel = value.front() - '0';
    } else if (ShiftJisText::EqualsIgnoringCase(value, "High")) {
        // The words name two levels each: "High" is 1 or 2, "Low" 4 or 5, whichever the rule asks for.
        mailLevel = level == 2 ? 2 : 1;
    } else if (ShiftJisText::EqualsIgnoringCase(value, "Normal")) {
        mailLevel = 3;
    } else if (ShiftJisText::EqualsIgnoringCase(value, "Low")) {
        mailLevel = level == 4 ? 4 : 5;
    } else {
        return false;
    }
    return mailLevel == level;
}
