// A buffered writer onto the socket attached to an AsyncSocketNotifier (not owned): sends until every byte is
// out, waiting on the notifier whenever the non-blocking socket is full. Flushes when destroyed.
#pragma once

#include "core/AbstractBufferedWriteSocketWrapper.h"
#include "platform/Sync.h"

class AsyncSocketNotifier;

class BufferedWriteAsyncSocketNotifierWrapper : public AbstractBufferedWriteSocketWrapper {
public:
    // socketLock is the lock under which the socket's owner closes it (CloseNotifiedSocket). Each send reads the
    // socket and sends under it, so that a concurrent close cannot hand the number to another connection between
    // the read and the send; it is released while the writer waits for room.
    BufferedWriteAsyncSocketNotifierWrapper(AsyncSocketNotifier* notifier, win32::CriticalSection& socketLock);
    // Flushes; a failure of that last flush is swallowed.
    ~BufferedWriteAsyncSocketNotifierWrapper() override;

protected:
    // Throws ConnectionFailure on any send error but "would block".
    void SendRaw(const char* data, std::uint32_t length) override;

private:
    AsyncSocketNotifier* notifier;
    win32::CriticalSection& socketLock;
};
