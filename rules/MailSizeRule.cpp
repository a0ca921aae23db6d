#include "rules/MailSizeRule.h"

#include "mail/Email.h"

bool MailSizeRule::Match(Email& mail) const {
    const auto size = static_cast<std::int32_t>(mail.size);
    switch (op) {
        case kFirst:
            return size > limit;
        case kSecond:
            return size < limit;
        default:
            return false;
    }
}
