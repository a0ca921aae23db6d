// A mail of a translated-mail mailbox: a copy of a translated mail with its message number and deletion mark.
// Owned by its TranslateAgent; read and marked on the connection's thread, destroyed on the agent's thread.
#pragma once

#include <cstdint>

#include "mail/Email.h"

class Pop3Email : public Email {
public:
    Pop3Email(const Email& mail, std::uint32_t number) : Email(mail), number(number) {}
    ~Pop3Email() override = default;

    std::uint32_t number;
    bool deleted = false;
};
