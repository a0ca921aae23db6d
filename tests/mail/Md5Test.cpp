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

}  // namespace
