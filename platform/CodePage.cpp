// Linux backend of the code page 932 functions: conversions through iconv ("CP932", the Windows variant of
// Shift_JIS) and the multibyte text functions done by table, as the Windows code page 932 tables do them.
#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace win32 {

namespace {

constexpr char16_t kAnsiDefaultToUnicode = u'\u30FB';  // what code page 932 turns undecodable bytes into
constexpr char kUnicodeDefaultToAnsi = '?';
constexpr char16_t kUnicodeReplacement = u'\uFFFD';

// One iconv conversion descriptor, closed with the object. Each thread keeps its own pair (iconv state is not
// shareable between threads), opened on first use.
class IconvDescriptor {
public:
    IconvDescriptor(const char* to, const char* from) : descriptor(iconv_open(to, from)) {
        if (descriptor == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
        }
    }
    ~IconvDescriptor() { iconv_close(descriptor); }
    IconvDescriptor(const IconvDescriptor&) = delete;
    IconvDescriptor& operator=(const IconvDescriptor&) = delete;

    // Converts as much of [in, in + inLeft) as possible into out; returns errno of the stop (0 when all
    // converted).
    int Convert(const char*& in, std::size_t& inLeft, std::string& out) {
        iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
        std::array<char, 1024> chunk;
        while (inLeft > 0) {
            char* outPtr = chunk.data();
            std::size_t outLeft = chunk.size();
            char* inPtr = const_cast<char*>(in);
            const std::size_t result = iconv(descriptor, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
            in = inPtr;
            out.append(chunk.data(), chunk.size() - outLeft);
            if (error != 0 && error != E2BIG) {
                return error;
            }
        }
        return 0;
    }

private:
    iconv_t descriptor;
};

IconvDescriptor& AnsiToUtf16Converter() {
    thread_local IconvDescriptor converter("UTF-16LE", "CP932");
    return converter;
}

IconvDescriptor& Utf16ToAnsiConverter() {
    thread_local IconvDescriptor converter("CP932", "UTF-16LE");
    return converter;
}

bool IsTrailByte(BYTE byte) {
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at text[pos]; returns its length, 0 when it is not well-formed.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// Full-width forms of 0x20-0x7E in code page 932 (U+3000 and U+FF01-U+FF5E; " and ' take the forms 0xFA57 and
// 0xFA56 that Windows converts them to, and 0x5C its reverse solidus 0x815F, so that "C:\" matches "Ｃ：＼").
constexpr std::array<std::uint16_t, 95> kFullWidthAscii = {
    0x8140, 0x8149, 0xFA57, 0x8194, 0x8190, 0x8193, 0x8195, 0xFA56, 0x8169, 0x816A, 0x8196, 0x817B,
    0x8143, 0x817C, 0x8144, 0x815E, 0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256,
    0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148, 0x8197, 0x8260, 0x8261, 0x8262,
    0x8263, 0x8264, 0x8265, 0x8266, 0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276, 0x8277, 0x8278, 0x8279, 0x816D,
    0x815F, 0x816E, 0x814F, 0x8151, 0x814D, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287,
    0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F, 0x8290, 0x8291, 0x8292, 0x8293,
    0x8294, 0x8295, 0x8296, 0x8297, 0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8160};

// Full-width forms of the half-width katakana 0xA1-0xDF (punctuation, katakana, the two sound marks).
constexpr std::array<std::uint16_t, 63> kFullWidthKatakana = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340, 0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385,
    0x8387, 0x8362, 0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C, 0x834E, 0x8350, 0x8352,
    0x8354, 0x8356, 0x8358, 0x835A, 0x835C, 0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D, 0x837E, 0x8380, 0x8381, 0x8382, 0x8384,
    0x8386, 0x8388, 0x8389, 0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B};

constexpr BYTE kHalfWidthVoicedMark = 0xDE;
constexpr BYTE kHalfWidthSemiVoicedMark = 0xDF;

// The full-width character for a half-width kana followed by a sound mark, 0 when the pair has no combined
// form (then both are mapped on their own).
std::uint16_t CombinedKana(BYTE kana, BYTE mark) {
    if (mark == kHalfWidthVoicedMark) {
        if (kana == 0xB3) {
            return 0x8394;  // ｳﾞ -> ヴ
        }
        if ((kana >= 0xB6 && kana <= 0xC4) || (kana >= 0xCA && kana <= 0xCE)) {
            return kFullWidthKatakana[kana - 0xA1] +
                   1;  // カ->ガ ... ホ->ボ: the voiced form follows its base
        }
    } else if (mark == kHalfWidthSemiVoicedMark && kana >= 0xCA && kana <= 0xCE) {
        return kFullWidthKatakana[kana - 0xA1] + 2;  // ハ->パ ... ホ->ポ
    }
    return 0;
}

}  // namespace

bool IsDBCSLeadByte(BYTE byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    std::string bytes;
    const char* in = ansi.data();
    std::size_t inLeft = ansi.size();
    while (inLeft > 0) {
        bytes.clear();
        const int error = AnsiToUtf16Converter().Convert(in, inLeft, bytes);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        if (error == 0) {
            break;
        }
        // An undecodable character becomes one replacement: a lead byte with a trail byte counts as one.
        const auto lead = static_cast<BYTE>(*in);
        const std::size_t skip =
            IsDBCSLeadByte(lead) && inLeft >= 2 && IsTrailByte(static_cast<BYTE>(in[1])) ? 2 : 1;
        out.push_back(kAnsiDefaultToUnicode);
        in += skip;
        inLeft -= skip;
    }
    return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
    std::string bytes;
    bytes.reserve(utf16.size() * 2);
    for (const char16_t unit : utf16) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    std::string out;
    out.reserve(utf16.size() * 2);
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        const int error = Utf16ToAnsiConverter().Convert(in, inLeft, out);
        if (error == 0) {
            break;
        }
        // A character without a form in code page 932 (or a lone surrogate) becomes '?': skip one code unit,
        // or a whole surrogate pair.
        const char16_t unit = static_cast<char16_t>(
            static_cast<unsigned char>(in[0]) | (inLeft >= 2 ? static_cast<unsigned char>(in[1]) << 8 : 0));
        std::size_t skip = inLeft >= 2 ? 2 : 1;
        if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
            const char16_t next = static_cast<char16_t>(static_cast<unsigned char>(in[2]) |
                                                        (static_cast<unsigned char>(in[3]) << 8));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                skip = 4;
            }
        }
        out.push_back(kUnicodeDefaultToAnsi);
        in += skip;
        inLeft -= skip;
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(utf8, pos, code);
        if (length == 0) {
            out.push_back(kUnicodeReplacement);
            ++pos;
            continue;
        }
        pos += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t code = utf16[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = kUnicodeReplacement;
        }
        AppendUtf8(code, out);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    return Utf16ToUtf8(AnsiToUtf16(ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return Utf16ToAnsi(Utf8ToUtf16(utf8));
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, pos, code);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::string ToFullWidthAnsi(std::string_view ansi) {
    // Every byte gives at most two: the result is written through a cursor into a buffer of twice the size and
    // cut to length once, rather than grown byte by byte.
    std::string out(ansi.size() * 2, '\0');
    char* cursor = out.data();
    const char* in = ansi.data();
    const char* const end = in + ansi.size();
    const auto putDoubleByte = [&cursor](std::uint16_t code) {
        cursor[0] = static_cast<char>(code >> 8);
        cursor[1] = static_cast<char>(code & 0xFF);
        cursor += 2;
    };
    while (in < end) {
        const auto byte = static_cast<BYTE>(*in);
        if (byte >= 0x20 && byte <= 0x7E) {
            putDoubleByte(kFullWidthAscii[byte - 0x20]);
            ++in;
        } else if (IsDBCSLeadByte(byte) && in + 1 < end) {
            cursor[0] = in[0];
            cursor[1] = in[1];
            cursor += 2;
            in += 2;
        } else if (byte >= 0xA1 && byte <= 0xDF) {
            const std::uint16_t combined = in + 1 < end ? CombinedKana(byte, static_cast<BYTE>(in[1])) : 0;
            if (combined != 0) {
                putDoubleByte(combined);
                in += 2;
            } else {
                putDoubleByte(kFullWidthKatakana[byte - 0xA1]);
                ++in;
            }
        } else {
            *cursor++ = *in++;  // control characters and bytes without a character stay as they are
        }
    }
    out.resize(static_cast<std::size_t>(cursor - out.data()));
    return out;
}

}  // namespace win32
