// Conversions between the three Japanese mail encodings (ISO-2022-JP, Shift_JIS, EUC-JP as internal pivot),
// encoding detection, half-width katakana widening and double-byte counting. Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class CodeKind : std::uint16_t {
    Detect = 0,     // to be detected
    Ascii = 1,      // ASCII or undecided: nothing to convert
    ShiftJis = 2,
    Iso2022Jp = 3,
    EucJp = 4,
};

class JapaneseCodeConverter {
public:
    virtual ~JapaneseCodeConverter() = default;

    // Every operation reports false on an empty input and then leaves its output untouched; outputs are
    // appended to. Every conversion starts in ASCII mode.
    bool Detect(std::string_view in, CodeKind& kind) const;
    bool ToShiftJis(std::string_view in, std::string& out, CodeKind kind) const;
    bool ToJis(std::string_view in, std::string& out, CodeKind kind) const;
    bool HalfToFullKana(std::string_view shiftJis, std::string& out) const;
    bool CountShiftJisChars(std::string_view in, std::size_t& count) const;

    // True for text of 7-bit bytes without ESC: every conversion leaves such text as it is.
    static bool IsPlainAscii(std::string_view text);

    static bool IsShiftJisPair(unsigned char lead, unsigned char trail) {
        return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) && trail >= 0x40 &&
               trail <= 0xFC && trail != 0x7F;
    }
    // The 7-bit trail range is accepted too, as some mailers strip the top bit of the second byte.
    static bool IsEucPair(unsigned char lead, unsigned char trail) {
        return lead >= 0xA1 && lead <= 0xFE && ((trail >= 0x21 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE));
    }

private:
    static void ToEuc(std::string_view in, std::string& out, CodeKind kind);
    static void EucToShiftJis(std::string_view euc, std::string& out);
    static void EucToJis(std::string_view euc, std::string& out);
};
