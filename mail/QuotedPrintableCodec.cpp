#include "mail/QuotedPrintableCodec.h"

#include <cstring>

#include "mail/ByteWriter.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// What may be written unaltered: printable ASCII except "=", and blank and tab.
bool IsLiteral(unsigned char c) { return (c >= 33 && c <= 60) || (c >= 62 && c <= 126) || c == ' ' || c == '\t'; }

constexpr std::size_t kSoftBreakColumn = 73;

}  // namespace

// Never writes more bytes than it reads.
bool QuotedPrintableCodec::Decode(std::string_view encoded, std::string& out) const {
    const char* in = encoded.data();
    const std::size_t n = encoded.size();
    ByteWriter writer(out, n);
    char* p = writer.Begin();
    std::size_t i = 0;
    while (i < n) {
        const void* found = std::memchr(in + i, '=', n - i);
        const std::size_t escape = found ? static_cast<std::size_t>(static_cast<const char*>(found) - in) : n;
        std::memcpy(p, in + i, escape - i);
        p += escape - i;
        i = escape;
        // An escape needs a full window of three bytes; a shorter tail is kept as it stands.
        if (n - i < 3) {
            std::memcpy(p, in + i, n - i);
            p += n - i;
            break;
        }
        const auto w1 = static_cast<unsigned char>(in[i + 1]);
        const auto w2 = static_cast<unsigned char>(in[i + 2]);
        const int high = HexValue(w1);
        const int low = HexValue(w2);
        if (high >= 0 && low >= 0) {
            *p++ = static_cast<char>(high * 16 + low);
            i += 3;
        } else if (w1 == '\r') {
            i += w2 == '\n' ? 3 : 2;
        } else if (w1 == '\n') {
            i += 2;
        } else {
            std::memcpy(p, in + i, 3);
            p += 3;
            i += 3;
        }
    }
    writer.Commit(p);
    return true;
}

bool QuotedPrintableCodec::Encode(std::string_view bytes, std::string& out) const {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    ByteWriter writer(out, n + n / 4 + 8);
    char* p = writer.Begin();
    char* end = writer.End();
    std::size_t column = 0;
    bool afterBlank = false;
    auto softBreak = [&p] {
        p[0] = '=';
        p[1] = '\r';
        p[2] = '\n';
        p += 3;
    };
    for (std::size_t i = 0; i < n; ++i) {
        // One input byte writes at most 8 bytes (an escape and a soft break, or two breaks).
        if (end - p < 8) {
            p = writer.Grow(p, 8 + (n - i) / 2);
            end = writer.End();
        }
        const unsigned char c = in[i];
        if (c == '\r' || c == '\n') {
            // A blank before a line break would be taken for transport padding and removed: protect it.
            if (afterBlank) {
                softBreak();
            }
            *p++ = '\r';
            *p++ = '\n';
            if (c == '\r' && i + 1 < n && in[i + 1] == '\n') {
                ++i;
            }
            column = 0;
            afterBlank = false;
            continue;
        }
        bool encode = !IsLiteral(c);
        if (column == 0) {
            // "." alone ends an SMTP/POP3 message and "From " starts a new mbox entry; a word cut off by the
            // end of the input is treated as if it went on to be "From ".
            static constexpr char kFromRest[] = "rom ";
            bool from = c == 'F';
            for (std::size_t k = 0; from && k < 4 && i + 1 + k < n; ++k) {
                from = in[i + 1 + k] == static_cast<unsigned char>(kFromRest[k]);
            }
            encode = encode || c == '.' || from;
        }
        if (encode) {
            p[0] = '=';
            p[1] = kHexDigits[c >> 4];
            p[2] = kHexDigits[c & 0x0F];
            p += 3;
            column += 3;
            afterBlank = false;
        } else {
            *p++ = static_cast<char>(c);
            column += 1;
            afterBlank = c == ' ' || c == '\t';
        }
        if (column >= kSoftBreakColumn) {
            softBreak();
            column = 0;
            afterBlank = false;
        }
    }
    writer.Commit(p);
    return true;
}
