// Quoted-printable (RFC 2045) for mail text, with soft breaks after 73 columns and the "." and "From "
// protection at the start of a line. Stateless.
#pragma once

#include <string>
#include <string_view>

class QuotedPrintableCodec {
public:
    virtual ~QuotedPrintableCodec() = default;

    // Appends the decoded bytes; escapes that are not "=" and two hexadecimal digits pass unaltered.
    bool Decode(std::string_view encoded, std::string& out) const;
    // Appends the encoding; soft breaks are "=" CR LF, hard breaks CR LF.
    bool Encode(std::string_view bytes, std::string& out) const;
};
