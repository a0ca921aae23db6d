#include "mail/Base64Codec.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "mail/ByteWriter.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Symbol values; "=" reads as 0 and any other byte outside the alphabet as 255, whose bits then fall into
// the neighbouring bytes as the shifts place them.
constexpr std::array<std::uint8_t, 256> MakeValues() {
    std::array<std::uint8_t, 256> values{};
    for (auto& value : values) {
        value = 255;
    }
    for (int i = 0; i < 64; ++i) {
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    values['='] = 0;
    return values;
}
constexpr std::array<std::uint8_t, 256> kValues = MakeValues();

// Writes the up to three bytes of one group, leaving out those that are 0, without branching.
inline char* PutGroup(char* out, unsigned s0, unsigned s1, unsigned s2, unsigned s3) {
    const auto b0 = static_cast<std::uint8_t>((s0 << 2) | ((s1 >> 4) & 0x03));
    const auto b1 = static_cast<std::uint8_t>((s1 << 4) | ((s2 >> 2) & 0x0F));
    const auto b2 = static_cast<std::uint8_t>((s2 << 6) | (s3 & 0x3F));
    out[0] = static_cast<char>(b0);
    out += b0 != 0;
    out[0] = static_cast<char>(b1);
    out += b1 != 0;
    out[0] = static_cast<char>(b2);
    out += b2 != 0;
    return out;
}

inline bool HasLineFeed(std::uint32_t word) {
    const std::uint32_t x = word ^ 0x0A0A0A0AU;
    return ((x - 0x01010101U) & ~x & 0x80808080U) != 0;
}

}  // namespace

bool Base64Codec::Decode(std::string_view encoded, std::string& out) const {
    const auto* in = reinterpret_cast<const unsigned char*>(encoded.data());
    const std::size_t n = encoded.size();
    ByteWriter writer(out, n / 4 * 3 + 3);
    char* cursor = writer.Begin();
    std::size_t i = 0;
    while (i + 4 <= n) {
        std::uint32_t word;
        std::memcpy(&word, in + i, sizeof word);
        if (HasLineFeed(word)) {
            break;
        }
        cursor = PutGroup(cursor, kValues[in[i]], kValues[in[i + 1]], kValues[in[i + 2]], kValues[in[i + 3]]);
        i += 4;
    }
    // Groups broken by line feeds, and the final short group whose missing symbols count as 0.
    unsigned symbols[4];
    int filled = 0;
    for (; i < n; ++i) {
        if (in[i] == '\n') {
            continue;
        }
        symbols[filled++] = kValues[in[i]];
        if (filled == 4) {
            cursor = PutGroup(cursor, symbols[0], symbols[1], symbols[2], symbols[3]);
            filled = 0;
        }
    }
    if (filled > 0) {
        for (int k = filled; k < 4; ++k) {
            symbols[k] = 0;
        }
        cursor = PutGroup(cursor, symbols[0], symbols[1], symbols[2], symbols[3]);
    }
    writer.Commit(cursor);
    return true;
}

bool Base64Codec::Encode(std::string_view bytes, std::string& out) const {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    const std::size_t groups = (n + 2) / 3;
    ByteWriter writer(out, groups * 4);
    char* cursor = writer.Begin();
    auto putGroup = [&cursor](unsigned b0, unsigned b1, unsigned b2) {
        cursor[0] = kAlphabet[b0 >> 2];
        cursor[1] = kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
        cursor[2] = b1 == 0 ? '=' : kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)];
        cursor[3] = b2 == 0 ? '=' : kAlphabet[b2 & 0x3F];
        cursor += 4;
    };
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        putGroup(in[i], in[i + 1], in[i + 2]);
    }
    if (i < n) {
        putGroup(in[i], i + 1 < n ? in[i + 1] : 0, 0);
    }
    writer.Commit(cursor);
    return true;
}
