#include "core/AbstractBufferedWriteSocketWrapper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ConnectionFailure.h"

namespace {

// Records what reaches the wire; can be told to fail the next sends.
class RecordingWriter : public AbstractBufferedWriteSocketWrapper {
public:
    std::vector<std::string> sends;
    int failuresLeft = 0;

    void Write(const std::string& text) { AbstractBufferedWriteSocketWrapper::Write(text.data(), text.size()); }

protected:
    void SendRaw(const char* data, std::uint32_t length) override
    {
        if (failuresLeft > 0) {
            --failuresLeft;
            throw ConnectionFailure();
        }
        sends.emplace_back(data == nullptr ? std::string() : std::string(data, length));
    }
};

// The system never sets a flush threshold: everything written goes out in one send at Flush, and a failed send keeps
// it for the next Flush.
TEST(AbstractBufferedWriteSocketWrapper, SendsEverythingInOnePieceAtFlushAndKeepsItWhenTheSendFails)
{
    RecordingWriter writer;
    writer.Flush();
    EXPECT_EQ(writer.sends, std::vector<std::string>{""}) << "nothing written";
    writer.sends.clear();
    for (const char* piece : {"USER", " alice", "\r\n"}) {
        writer.Write(piece);
    }
    EXPECT_TRUE(writer.sends.empty());
    writer.failuresLeft = 1;
    EXPECT_THROW(writer.Flush(), ConnectionFailure);
    EXPECT_TRUE(writer.sends.empty());
    writer.Write("PASS x\r\n");
    writer.Flush();
    EXPECT_EQ(writer.sends, std::vector<std::string>{"USER alice\r\nPASS x\r\n"});
}

}  // namespace
