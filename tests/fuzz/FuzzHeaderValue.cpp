// MailCodec::DecodeHeaderValue on arbitrary values.
#include "FuzzSupport.h"
#include "mail/MailCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string out;
    MailCodec().DecodeHeaderValue(fuzz::View(data, size), out);
    return 0;
}
