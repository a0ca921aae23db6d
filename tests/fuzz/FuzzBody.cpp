// The body pipelines through an Email: the first byte picks the declared transfer encoding, the rest is the
// body; it is decoded, decoded in place, encoded and decoded again.
#include "FuzzSupport.h"
#include "mail/Email.h"
#include "mail/MailCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static const char* const kEncodings[] = {"base64", "quoted-printable", "7bit", "BASE64"};
    std::vector<std::string> lines = {"Subject: fuzz", "Content-Type: text/plain; charset=ISO-2022-JP",
                                      std::string("Content-Transfer-Encoding: ") + kEncodings[data[0] % 4],
                                      ""};
    for (std::string& line : fuzz::Lines(fuzz::View(data + 1, size - 1))) {
        lines.push_back(std::move(line));
    }
    Email mail;
    mail.SetMail(lines);
    std::vector<std::string> decoded;
    MailCodec().DecodeBody(mail, decoded);
    Email copy(mail);
    if (DecodeMailBody(copy)) {
        MailCodec().EncodeBody(copy);
        std::vector<std::string> again;
        MailCodec().DecodeBody(copy, again);
    }
    MailCodec().EncodeBody(mail);
    return 0;
}
