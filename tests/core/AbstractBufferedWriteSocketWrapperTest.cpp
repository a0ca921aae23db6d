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

TEST(AbstractBufferedWriteSocketWrapper, SendsInAsFewPiecesAsTheThresholdAllows)
{
    const struct {
        const char* name;
        std::uint32_t threshold;
        std::vector<std::string> writes;
        std::vector<std::string> sendsBeforeFlush;
        std::vector<std::string> sendsAfterFlush;
    } cases[] = {
        {"nothing written", 0, {}, {}, {""}},
        {"no threshold", 0, {"RETR", " 1", "\r\n"}, {}, {"RETR 1\r\n"}},
        {"threshold reached", 4, {"ab", "cd", "e"}, {"abcd"}, {"abcd", "e"}},
        {"threshold passed", 3, {"abcd", "ef"}, {"abcd"}, {"abcd", "ef"}},
        {"one byte threshold", 1, {"a", "b"}, {"a", "b"}, {"a", "b", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingWriter writer;
        writer.flushThreshold = c.threshold;
        for (const std::string& piece : c.writes) {
            writer.Write(piece);
        }
        EXPECT_EQ(writer.sends, c.sendsBeforeFlush);
        writer.Flush();
        EXPECT_EQ(writer.sends, c.sendsAfterFlush);
    }
}

TEST(AbstractBufferedWriteSocketWrapper, FailedFlushKeepsTheBufferForTheNextOne)
{
    RecordingWriter writer;
    writer.Write("USER alice\r\n");
    writer.failuresLeft = 1;
    EXPECT_THROW(writer.Flush(), ConnectionFailure);
    EXPECT_TRUE(writer.sends.empty());
    writer.Write("PASS x\r\n");
    writer.Flush();
    EXPECT_EQ(writer.sends, std::vector<std::string>{"USER alice\r\nPASS x\r\n"});
}

}  // namespace
