#include "mail/JapaneseCodeConverter.h"

#include <cstring>

#include "mail/ByteWriter.h"

namespace {

using Byte = unsigned char;

constexpr Byte kEsc = 0x1B;
constexpr Byte kLf = 0x0A;

const Byte* Bytes(std::string_view text) { return reinterpret_cast<const Byte*>(text.data()); }

bool IsJisByte(Byte byte) { return byte >= 0x21 && byte <= 0x7E; }

// Length of the leading run of bytes below 0x80 (and, if stopAtEscape, other than ESC), eight at a time:
// mail text is mostly such runs, and copying them whole is what keeps the converters fast.
inline std::size_t SevenBitRun(const Byte* bytes, std::size_t count, bool stopAtEscape) {
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kEscapes = 0x1B1B1B1B1B1B1B1BULL;
    std::size_t i = 0;
    while (i + 8 <= count) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        std::uint64_t stop = word & kHigh;
        if (stopAtEscape) {
            const std::uint64_t escapes = word ^ kEscapes;
            stop |= (escapes - kOnes) & ~escapes & kHigh;
        }
        if (stop != 0) {
            break;
        }
        i += 8;
    }
    while (i < count && bytes[i] < 0x80 && !(stopAtEscape && bytes[i] == kEsc)) {
        ++i;
    }
    return i;
}

// JIS X 0201 katakana 0xA1-0xDF as their full-width Shift_JIS forms, in code order.
constexpr std::uint16_t kFullWidthKana[63] = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340, 0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385,
    0x8387, 0x8362, 0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C, 0x834E, 0x8350, 0x8352,
    0x8354, 0x8356, 0x8358, 0x835A, 0x835C, 0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D, 0x837E, 0x8380, 0x8381, 0x8382, 0x8384,
    0x8386, 0x8388, 0x8389, 0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,
};
constexpr Byte kHalfVoicedMark = 0xDE;
constexpr Byte kHalfSemiVoicedMark = 0xDF;
constexpr std::uint16_t kFullWidthVu = 0x8394;

inline char* PutPair(char* out, std::uint16_t pair) {
    out[0] = static_cast<char>(pair >> 8);
    out[1] = static_cast<char>(pair & 0xFF);
    return out + 2;
}

inline char* CopyRun(char* out, const Byte* in, std::size_t count) {
    std::memcpy(out, in, count);
    return out + count;
}

// The pivot text of a two-step conversion; kept per thread so that converting does not allocate each time.
std::string& PivotBuffer() {
    thread_local std::string pivot;
    pivot.clear();
    return pivot;
}

// A long-lived thread should not keep the pivot of one huge mail for good.
void TrimPivot(std::string& pivot) {
    constexpr std::size_t kKeptCapacity = 8 << 20;
    if (pivot.capacity() > kKeptCapacity) {
        std::string().swap(pivot);
    }
}

}  // namespace

bool JapaneseCodeConverter::IsPlainAscii(std::string_view text) {
    // Sixty-four octets per step (GCC and Clang vector extension) while none is unusual, so that a whole
    // captured mail is checked at about the speed of reading it; the rest, and a block that stops, go the
    // octet-exact way.
    using Octets16 = signed char __attribute__((vector_size(16)));
    constexpr std::size_t kStep = 4 * sizeof(Octets16);
    std::size_t at = 0;
    for (; at + kStep <= text.size(); at += kStep) {
        Octets16 unusual = {};
        for (std::size_t block = 0; block < kStep; block += sizeof(Octets16)) {
            Octets16 here;
            std::memcpy(&here, text.data() + at + block, sizeof here);
            unusual |= (here < 0) | (here == static_cast<signed char>(kEsc));
        }
        std::uint64_t halves[2];
        std::memcpy(halves, &unusual, sizeof halves);
        if ((halves[0] | halves[1]) != 0) {
            return false;
        }
    }
    return SevenBitRun(Bytes(text) + at, text.size() - at, true) == text.size() - at;
}

bool JapaneseCodeConverter::Detect(std::string_view in, CodeKind& kind) const {
    if (in.empty()) {
        return false;
    }
    const Byte* s = Bytes(in);
    const std::size_t n = in.size();
    // Without high bytes and escapes all three counts are 0; most mail lines are like that.
    if (IsPlainAscii(in)) {
        kind = CodeKind::Ascii;
        return true;
    }
    auto at = [&](std::size_t i) -> Byte { return i < n ? s[i] : 0; };

    std::size_t jis = 0;
    bool kanji = false;
    for (std::size_t i = 0; i < n;) {
        const Byte b = s[i];
        if (b == kEsc) {
            const Byte x = at(i + 1);
            const Byte y = at(i + 2);
            if (x == '$' && (y == 'B' || y == '@')) {
                kanji = true;
                i += 3;
            } else if (x == '(') {
                kanji = false;
                i += (y == 'B' || y == 'J' || y == 'H') ? 3 : 1;
            } else {
                if (x == ',') {
                    kanji = false;
                }
                i += 1;
            }
        } else if (!kanji) {
            // Outside kanji mode only an escape sequence matters.
            const void* escape = std::memchr(s + i, kEsc, n - i);
            i = escape ? static_cast<std::size_t>(static_cast<const Byte*>(escape) - s) : n;
        } else if (IsJisByte(b) && IsJisByte(at(i + 1))) {
            ++jis;
            i += 2;
        } else {
            if (b == kLf) {
                kanji = false;
            }
            i += 1;
        }
    }

    std::size_t shiftJis = 0;
    CountShiftJisChars(in, shiftJis);

    std::size_t euc = 0;
    for (std::size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            i += 1 + SevenBitRun(s + i + 1, n - i - 1, false);
        } else if (IsEucPair(s[i], at(i + 1))) {
            ++euc;
            i += 2;
        } else {
            i += 1;
        }
    }

    if (jis > shiftJis && jis > euc) {
        kind = CodeKind::Iso2022Jp;
    } else if (shiftJis > euc) {
        kind = CodeKind::ShiftJis;
    } else if (euc > shiftJis) {
        kind = CodeKind::EucJp;
    } else {
        kind = CodeKind::Ascii;
    }
    return true;
}

bool JapaneseCodeConverter::CountShiftJisChars(std::string_view in, std::size_t& count) const {
    if (in.empty()) {
        return false;
    }
    const Byte* s = Bytes(in);
    const std::size_t n = in.size();
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            i += 1 + SevenBitRun(s + i + 1, n - i - 1, false);
        } else if (i + 1 < n && IsShiftJisPair(s[i], s[i + 1])) {
            ++pairs;
            i += 2;
        } else {
            i += 1;
        }
    }
    count = pairs;
    return true;
}

bool JapaneseCodeConverter::ToShiftJis(std::string_view in, std::string& out, CodeKind kind) const {
    if (in.empty()) {
        return false;
    }
    if (kind == CodeKind::Detect) {
        Detect(in, kind);
    }
    if (kind == CodeKind::Iso2022Jp || kind == CodeKind::EucJp) {
        std::string& euc = PivotBuffer();
        ToEuc(in, euc, kind);
        EucToShiftJis(euc, out);
        TrimPivot(euc);
    } else {
        out.append(in);
    }
    return true;
}

bool JapaneseCodeConverter::ToJis(std::string_view in, std::string& out, CodeKind kind) const {
    if (in.empty()) {
        return false;
    }
    if (kind == CodeKind::Detect) {
        Detect(in, kind);
    }
    if (kind == CodeKind::ShiftJis || kind == CodeKind::EucJp) {
        std::string& euc = PivotBuffer();
        ToEuc(in, euc, kind);
        EucToJis(euc, out);
        TrimPivot(euc);
    } else {
        out.append(in);
    }
    return true;
}

// Never writes more bytes than it reads, so the room made at the start is enough.
void JapaneseCodeConverter::ToEuc(std::string_view in, std::string& out, CodeKind kind) {
    const Byte* s = Bytes(in);
    const std::size_t n = in.size();
    auto at = [&](std::size_t i) -> Byte { return i < n ? s[i] : 0; };
    ByteWriter writer(out, n);
    char* p = writer.Begin();
    bool kanji = false;
    bool escapeSeen = false;
    for (std::size_t i = 0; i < n;) {
        const Byte b = s[i];
        const Byte x = at(i + 1);
        if (b >= 0x80) {
            if (b == 0x80 || (b == 0xA0 && escapeSeen)) {
                i += 1;
            } else if (kind == CodeKind::ShiftJis && IsShiftJisPair(b, x)) {
                // Japanese text is mostly runs of double-byte characters: convert the whole run here.
                do {
                    const int lead = s[i] >= 0xE0 ? s[i] - 0x40 : s[i];
                    const int trail = s[i + 1];
                    const int high = trail >= 0x9F;
                    const int row = (lead - 0x81) * 2 + 0x21 + high;
                    const int cell = high ? trail - 0x7E : trail - 0x1F - (trail > 0x7F);
                    *p++ = static_cast<char>(row | 0x80);
                    *p++ = static_cast<char>(cell | 0x80);
                    i += 2;
                } while (i + 1 < n && IsShiftJisPair(s[i], s[i + 1]));
            } else if (kind == CodeKind::EucJp && IsEucPair(b, x)) {
                *p++ = static_cast<char>(b);
                *p++ = static_cast<char>(x);
                i += 2;
            } else {
                *p++ = static_cast<char>(b);
                i += 1;
            }
            continue;
        }
        if (b == kEsc) {
            const Byte y = at(i + 2);
            if (x == '$') {
                if (y == 'B' || y == '@') {
                    kanji = true;
                    escapeSeen = true;
                    i += 3;
                    continue;
                }
                kanji = false;
            } else if (x == '(') {
                kanji = false;
                // ESC ( I (half-width katakana) is kept with its bytes as they are, like the EUC-JP single
                // shift 0x8E: neither belongs in ISO-2022-JP mail, and reading the bytes after them as katakana
                // would garble text that only looked like such a sequence.
                if (y == 'B' || y == 'J' || y == 'H') {
                    i += 3;
                    continue;
                }
            } else if (x == ',') {
                kanji = false;
                i += 1;
                continue;
            }
            *p++ = static_cast<char>(b);
            i += 1;
            continue;
        }
        if (!kanji) {
            const std::size_t run = SevenBitRun(s + i, n - i, true);
            p = CopyRun(p, s + i, run);
            i += run;
            continue;
        }
        if (IsJisByte(b) && IsJisByte(x)) {
            do {
                *p++ = static_cast<char>(s[i] | 0x80);
                *p++ = static_cast<char>(s[i + 1] | 0x80);
                i += 2;
            } while (i + 1 < n && IsJisByte(s[i]) && IsJisByte(s[i + 1]));
            continue;
        }
        if (b == kLf) {
            kanji = false;
        }
        *p++ = static_cast<char>(b);
        i += 1;
    }
    writer.Commit(p);
}

// Never writes more bytes than it reads.
void JapaneseCodeConverter::EucToShiftJis(std::string_view euc, std::string& out) {
    const Byte* s = Bytes(euc);
    const std::size_t n = euc.size();
    ByteWriter writer(out, n);
    char* p = writer.Begin();
    for (std::size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            const std::size_t run = SevenBitRun(s + i, n - i, false);
            p = CopyRun(p, s + i, run);
            i += run;
            continue;
        }
        while (i + 1 < n && s[i] >= 0x80 && s[i + 1] >= 0x80) {
            const int row = s[i] & 0x7F;
            const int cell = s[i + 1] & 0x7F;
            const int trail = (row & 1) ? cell + 0x1F + (cell + 0x1F >= 0x7F) : cell + 0x7E;
            // Signed division truncating toward zero, also for the bytes below row 0x21 that no real
            // character uses; they come out as whatever this arithmetic gives.
            int lead = (row - 0x21) / 2 + 0x81;
            lead += lead > 0x9F ? 0x40 : 0;
            *p++ = static_cast<char>(lead);
            *p++ = static_cast<char>(trail);
            i += 2;
        }
        if (i < n && s[i] >= 0x80) {
            i += 1;  // a high byte without a high partner is no character
        }
    }
    writer.Commit(p);
}

void JapaneseCodeConverter::EucToJis(std::string_view euc, std::string& out) {
    static constexpr char kToKanji[] = {'\x1B', '$', 'B'};
    static constexpr char kToAscii[] = {'\x1B', '(', 'B'};
    const Byte* s = Bytes(euc);
    const std::size_t n = euc.size();
    auto at = [&](std::size_t i) -> Byte { return i < n ? s[i] : 0; };
    ByteWriter writer(out, n + n / 4 + 8);
    char* p = writer.Begin();
    char* end = writer.End();
    // Each step below writes at most 8 bytes.
    auto room = [&] {
        if (end - p < 8) {
            p = writer.Grow(p, 8);
            end = writer.End();
        }
    };
    bool kanji = false;
    bool rawCopy = false;
    for (std::size_t i = 0; i < n;) {
        room();
        const Byte b = s[i];
        if (b < 0x80) {
            if (kanji) {
                p = CopyRun(p, reinterpret_cast<const Byte*>(kToAscii), 3);
                kanji = false;
            }
            const std::size_t run = SevenBitRun(s + i, n - i, false);
            if (static_cast<std::size_t>(end - p) < run) {
                p = writer.Grow(p, run);
                end = writer.End();
            }
            p = CopyRun(p, s + i, run);
            i += run;
            continue;
        }
        const Byte x = at(i + 1);
        if (!(b >= 0xA1 && b <= 0xFE) && (IsJisByte(x) || (x >= 0xA1 && x <= 0xFE))) {
            if (!(b == 0xA0 && rawCopy)) {
                *p++ = static_cast<char>(b);
                rawCopy = true;
            }
            i += 1;
            continue;
        }
        if (!kanji) {
            p = CopyRun(p, reinterpret_cast<const Byte*>(kToKanji), 3);
            kanji = true;
        }
        if (i + 1 < n && x >= 0x80) {
            *p++ = static_cast<char>(b & 0x7F);
            *p++ = static_cast<char>(x & 0x7F);
            i += 2;
            // The common case: a run of ordinary pairs in kanji mode, two bytes out for two in.
            while (i + 1 < n && s[i] >= 0xA1 && s[i] <= 0xFE && s[i + 1] >= 0x80) {
                if (end - p < 8) {
                    room();
                }
                *p++ = static_cast<char>(s[i] & 0x7F);
                *p++ = static_cast<char>(s[i + 1] & 0x7F);
                i += 2;
            }
        } else {
            i += 1;
        }
    }
    if (kanji) {
        room();
        p = CopyRun(p, reinterpret_cast<const Byte*>(kToAscii), 3);
    }
    writer.Commit(p);
}

// Never writes more than two bytes per byte read.
bool JapaneseCodeConverter::HalfToFullKana(std::string_view shiftJis, std::string& out) const {
    if (shiftJis.empty()) {
        return false;
    }
    const Byte* s = Bytes(shiftJis);
    const std::size_t n = shiftJis.size();
    auto at = [&](std::size_t i) -> Byte { return i < n ? s[i] : 0; };
    ByteWriter writer(out, 2 * n);
    char* p = writer.Begin();
    for (std::size_t i = 0; i < n;) {
        const Byte b = s[i];
        if (b < 0x80) {
            const std::size_t run = SevenBitRun(s + i, n - i, false);
            p = CopyRun(p, s + i, run);
            i += run;
            continue;
        }
        const Byte x = at(i + 1);
        if (i + 1 < n && IsShiftJisPair(b, x)) {
            *p++ = static_cast<char>(b);
            *p++ = static_cast<char>(x);
            i += 2;
        } else if (b >= 0xA1 && b <= 0xDF) {
            const std::uint16_t wide = kFullWidthKana[b - 0xA1];
            const bool takesVoicedMark = b == 0xB3 || (b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE);
            const bool takesSemiVoicedMark = b >= 0xCA && b <= 0xCE;
            if (x == kHalfVoicedMark && takesVoicedMark) {
                // Voiced katakana follow their plain forms directly in Shift_JIS, except ヴ.
                p = PutPair(p, b == 0xB3 ? kFullWidthVu : static_cast<std::uint16_t>(wide + 1));
                i += 2;
            } else if (x == kHalfSemiVoicedMark && takesSemiVoicedMark) {
                p = PutPair(p, static_cast<std::uint16_t>(wide + 2));
                i += 2;
            } else {
                p = PutPair(p, wide);
                i += 1;
            }
        } else {
            *p++ = static_cast<char>(b);
            i += 1;
        }
    }
    writer.Commit(p);
    return true;
}
