// Base64 (RFC 2045 alphabet) for mail text. A byte of value 0 counts as absent both ways: the decoder never
// outputs one and the encoder writes "=" for it, which is how padding is told apart. Stateless.
#pragma once

#include <string>
#include <string_view>

class Base64Codec {
public:
    virtual ~Base64Codec() = default;

    // Appends the decoded bytes; LF bytes are skipped, every other non-alphabet byte decodes as value 255.
    bool Decode(std::string_view encoded, std::string& out) const;
    // Appends the encoding without line breaks.
    bool Encode(std::string_view bytes, std::string& out) const;
};
