#include "mail/Md5.h"

#include <gtest/gtest.h>

#include "MailTestSupport.h"

namespace {

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
    Md5 oneUpdate;
    oneUpdate.Update(message);
    const Md5::Digest whole = oneUpdate.Final();
    for (std::size_t step : {1, 3, 63, 64, 65, 200}) {
        SCOPED_TRACE(step);
        Md5 md5;
        for (std::size_t at = 0; at < message.size(); at += step) {
            md5.Update(std::string_view(message).substr(at, step));
        }
        EXPECT_EQ(md5.Final(), whole);
    }
}

}  // namespace
