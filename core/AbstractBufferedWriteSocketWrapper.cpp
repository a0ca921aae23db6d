#include "core/AbstractBufferedWriteSocketWrapper.h"

void AbstractBufferedWriteSocketWrapper::Write(const char* data, std::uint32_t length)
{
    buffer.insert(buffer.end(), data, data + length);
    if (flushThreshold != 0 && buffer.size() >= flushThreshold) {
        Flush();
    }
}

void AbstractBufferedWriteSocketWrapper::Flush()
{
    SendRaw(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    buffer.clear();
}
