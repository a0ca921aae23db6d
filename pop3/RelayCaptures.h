// What the relay hands on to whoever made it: the mails it captures and the capabilities its server announced.
// The translate thread implements it; the relay calls it on its connection's thread.
#pragma once

#include <string>
#include <vector>

#include "pop3/CapturedMail.h"

class RelayCaptures {
public:
    // Takes one retrieved mail for translation; false when it is not taken.
    virtual bool AddCapturedMail(CapturedMail capture) = 0;
    // Keeps the server's CAPA list (as the relay passed it on) for the translated-mail session's CAPA answer.
    virtual void RememberServerCapabilities(std::vector<std::string> capabilities) = 0;

protected:
    ~RelayCaptures() = default;
};
