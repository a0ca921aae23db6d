#include "rules/CharsetMessageRule.h"

#include "mail/Email.h"

bool CharsetMessageRule::Match(Email& mail) const {
    switch (op) {
        case kFirst:
            return mail.charset == charset;
        case kSecond:
            return mail.charset != charset;
        default:
            return false;
    }
}
