#include "rules/ContentTypeMessageRule.h"

#include "mail/Email.h"

bool ContentTypeMessageRule::Match(Email& mail) const {
    if (contentType == 0) {
        return false;
    }
    switch (op) {
        case kFirst:
            return mail.contentType == contentType;
        case kSecond:
            return mail.contentType != contentType;
        default:
            return false;
    }
}
