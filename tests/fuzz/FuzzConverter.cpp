// Every entry point of the Japanese code converter and of the two transfer codecs on arbitrary bytes.
#include <cstdlib>

#include "FuzzSupport.h"
#include "mail/Base64Codec.h"
#include "mail/JapaneseCodeConverter.h"
#include "mail/QuotedPrintableCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in = fuzz::View(data, size);
    const JapaneseCodeConverter converter;
    CodeKind detected = CodeKind::Detect;
    converter.Detect(in, detected);
    std::size_t count = 0;
    converter.CountShiftJisChars(in, count);
    for (auto kind :
         {CodeKind::Detect, CodeKind::Ascii, CodeKind::ShiftJis, CodeKind::Iso2022Jp, CodeKind::EucJp}) {
        std::string sjis, jis;
        converter.ToShiftJis(in, sjis, kind);
        converter.ToJis(in, jis, kind);
    }
    std::string wide;
    converter.HalfToFullKana(in, wide);

    std::string decoded, encoded;
    Base64Codec().Decode(in, decoded);
    if (decoded.find('\0') != std::string::npos) {
        std::abort();  // the decoder never writes a zero byte
    }
    Base64Codec().Encode(in, encoded);
    std::string qpDecoded, qpEncoded;
    QuotedPrintableCodec().Decode(in, qpDecoded);
    QuotedPrintableCodec().Encode(in, qpEncoded);
    return 0;
}
