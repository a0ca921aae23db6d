#include "mail/Md5.h"

#include <gtest/gtest.h>

#include "MailTestSupport.h"

namespace {

TEST(Md5, MatchesTheRfc1321TestSuite) {
    const struct {
        const char* message;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(Md5::HexDigest(c.message), c.digest);
    }
}

// Every padding case (lengths around the 56- and 64-byte boundaries) against coreutils' md5sum.
TEST(Md5, AgreesWithMd5sumForEveryLengthAcrossTwoBlocks) {
    std::string message;
    for (int length = 0; length <= 130; ++length) {
        SCOPED_TRACE(length);
        std::string reference;
        ASSERT_TRUE(mailtest::RunFilter("md5sum", message, reference));
        EXPECT_EQ(Md5::HexDigest(message), reference.substr(0, 32));
        message += static_cast<char>('A' + length % 26 + (length % 3 == 0 ? 0x80 : 0));
    }
}

TEST(Md5, GivesTheSameDigestWhateverTheUpdateSizes) {
    std::string message;
    for (int i = 0; i < 1000; ++i) {
        message += static_cast<char>(i * 7);
    }
    const std::string whole = Md5::HexDigest(message);
    for (std::size_t step : {1, 3, 63, 64, 65, 200}) {
        SCOPED_TRACE(step);
        Md5 md5;
        for (std::size_t at = 0; at < message.size(); at += step) {
            md5.Update(std::string_view(message).substr(at, step));
        }
        const Md5::Digest digest = md5.Final();
        std::string hex;
        for (auto byte : digest) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", byte);
            hex += two;
        }
        EXPECT_EQ(hex, whole);
    }
}

}  // namespace
