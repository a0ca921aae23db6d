// Email::SetMail and GetMail on arbitrary lines: the size must always be the octets written out.
#include <cstdlib>

#include "FuzzSupport.h"
#include "mail/Email.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Email mail;
    mail.SetMail(fuzz::Lines(fuzz::View(data, size)));
    LineList out;
    mail.GetMail(out);
    if (out.Joined().size() != mail.size) {
        std::abort();
    }
    LineList limited;
    mail.GetMail(1, limited);
    Email copy(mail);
    copy.PrependSubject("TR: ");
    copy.SetHeader("Content-Type", "text/plain; charset=ISO-2022-JP");
    std::int32_t rate = 0;
    copy.GetEnglishRate(rate);
    copy.BodyLineStartsWith("> a", true, true);
    return 0;
}
