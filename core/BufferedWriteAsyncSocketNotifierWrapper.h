// A buffered writer onto the socket attached to an AsyncSocketNotifier (not owned): sends until every byte is
// out, waiting on the notifier whenever the non-blocking socket is full. Flushes when destroyed.
#pragma once

#include "core/AbstractBufferedWriteSocketWrapper.h"

class AsyncSocketNotifier;

class BufferedWriteAsyncSocketNotifierWrapper : public AbstractBufferedWriteSocketWrapper {
public:
    explicit BufferedWriteAsyncSocketNotifierWrapper(AsyncSocketNotifier* notifier);
    // Flushes; a failure of that last flush is swallowed.
    ~BufferedWriteAsyncSocketNotifierWrapper() override;

protected:
    // Throws ConnectionFailure on any send error but "would block".
    void SendRaw(const char* data, std::uint32_t length) override;

private:
    AsyncSocketNotifier* notifier;
};
