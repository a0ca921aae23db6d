// RuleList::LoadRules on arbitrary rule texts; whatever loads must save and load back to the same text, and
// match a mail without fault.
#include <cstdlib>

#include "FuzzSupport.h"
#include "mail/Email.h"
#include "rules/RuleList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RuleList list;
    list.LoadRules(fuzz::View(data, size));
    const std::string saved = list.SaveRules();
    RuleList reloaded;
    if (!reloaded.LoadRules(saved) || reloaded.SaveRules() != saved) {
        std::abort();
    }
    static const std::vector<std::string> kMail = {"From: Alice <alice@example.org>",
                                                   "To: bob@example.net",
                                                   "Subject: =?ISO-2022-JP?B?GyRCMnE1RBsoQg==?=",
                                                   "X-Priority: 2",
                                                   "Content-Type: text/plain; charset=us-ascii",
                                                   "",
                                                   "Hello Bob,",
                                                   "> quoted",
                                                   "."};
    Email mail;
    mail.SetMail(kMail);
    list.Match(mail);
    return 0;
}
