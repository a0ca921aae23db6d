// Collects written bytes and hands them to SendRaw in one piece on Flush (or when flushThreshold is reached).
// A writer belongs to the call that makes it and is never shared between threads.
#pragma once

#include <cstdint>
#include <vector>

class AbstractBufferedWriteSocketWrapper {
public:
    AbstractBufferedWriteSocketWrapper() = default;
    virtual ~AbstractBufferedWriteSocketWrapper() = default;
    AbstractBufferedWriteSocketWrapper(const AbstractBufferedWriteSocketWrapper&) = delete;
    AbstractBufferedWriteSocketWrapper& operator=(const AbstractBufferedWriteSocketWrapper&) = delete;

    void Write(const char* data, std::uint32_t length);
    // Sends the whole buffer and empties it; if SendRaw throws, the exception passes and the buffer stays intact.
    void Flush();

    // 0: no automatic flush, everything waits for Flush.
    std::uint32_t flushThreshold = 0;

protected:
    virtual void SendRaw(const char* data, std::uint32_t length) = 0;

private:
    std::vector<char> buffer;
};
