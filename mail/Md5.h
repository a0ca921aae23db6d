// The MD5 message digest (RFC 1321), used to make the unique ids of mails. One object digests one message;
// not shared between threads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class Md5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5();
    void Update(const void* data, std::size_t length);
    void Update(std::string_view data) { Update(data.data(), data.size()); }
    // Pads, appends the length and returns the digest; the object must not be updated afterwards.
    Digest Final();

    // The digest of `data` as 32 lowercase hexadecimal digits in digest order.
    static std::string HexDigest(std::string_view data);

private:
    void Transform(const std::uint8_t* blocks, std::size_t count);

    std::uint32_t state[4];
    std::uint64_t length = 0;
    std::uint8_t buffer[64];
};
