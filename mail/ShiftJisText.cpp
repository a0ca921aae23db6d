#include "mail/ShiftJisText.h"

#include "platform/CodePage.h"

namespace ShiftJisText {

namespace {

// Code page 932 lead bytes: the byte after one belongs to the same character whatever its value.
bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

template <bool kFullWidthLetters>
std::string Fold(std::string_view text) {
    std::string folded(text);
    const std::size_t n = folded.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(folded[i]);
        if (byte >= 'a' && byte <= 'z') {
            folded[i] = static_cast<char>(byte - 0x20);
        } else if (IsLeadByte(byte) && i + 1 < n) {
            const auto trail = static_cast<unsigned char>(folded[i + 1]);
            if (kFullWidthLetters && byte == 0x82 && trail >= 0x81 && trail <= 0x9A) {
                folded[i + 1] = static_cast<char>(trail - 0x21);
            }
            ++i;
        }
    }
    return folded;
}

}  // namespace

std::string ToUpperAscii(std::string_view text) { return Fold<false>(text); }

std::string FoldCase(std::string_view text) { return Fold<true>(text); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto upper = [](unsigned char byte) { return byte >= 'a' && byte <= 'z' ? byte - 0x20 : byte; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto byte = static_cast<unsigned char>(a[i]);
        if (upper(byte) != upper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
        if (IsLeadByte(byte) && i + 1 < a.size()) {
            ++i;  // the trail byte is part of a double-byte character: compared as it is
            if (a[i] != b[i]) {
                return false;
            }
        }
    }
    return true;
}

std::string ToFullWidth(std::string_view text) { return win32::ToFullWidthAnsi(text); }

}  // namespace ShiftJisText
