// What the relay needs of whoever takes the mails it captures. The translate thread implements it; the relay
// calls it on its connection's thread.
#pragma once

#include "pop3/CapturedMail.h"

class CapturedMailSink {
public:
    // Takes one retrieved mail for translation; false when it is not taken.
    virtual bool AddCapturedMail(CapturedMail capture) = 0;

protected:
    ~CapturedMailSink() = default;
};
