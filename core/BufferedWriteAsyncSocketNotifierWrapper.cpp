#include "core/BufferedWriteAsyncSocketNotifierWrapper.h"

#include "core/AsyncSocketNotifier.h"
#include "core/ConnectionFailure.h"
#include "platform/Sockets.h"

BufferedWriteAsyncSocketNotifierWrapper::BufferedWriteAsyncSocketNotifierWrapper(AsyncSocketNotifier* notifier)
    : notifier(notifier)
{
}

BufferedWriteAsyncSocketNotifierWrapper::~BufferedWriteAsyncSocketNotifierWrapper()
{
    try {
        Flush();
    } catch (...) {
        // The owner of a stack-local writer has nobody to report a failed final flush to.
    }
}

void BufferedWriteAsyncSocketNotifierWrapper::SendRaw(const char* data, std::uint32_t length)
{
    std::uint32_t sent = 0;
    while (sent < length) {
        const int result =
            win32::send(notifier->Socket(), data + sent, static_cast<int>(length - sent), 0);
        if (result == win32::SOCKET_ERROR) {
            if (win32::WSAGetLastError() != win32::WSAEWOULDBLOCK) {
                throw ConnectionFailure();
            }
            notifier->Wait(win32::FD_WRITE | win32::FD_CLOSE);
            continue;
        }
        sent += static_cast<std::uint32_t>(result);
    }
}
