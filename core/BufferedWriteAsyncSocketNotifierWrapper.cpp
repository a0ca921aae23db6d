#include "core/BufferedWriteAsyncSocketNotifierWrapper.h"

#include <mutex>

#include "core/AsyncSocketNotifier.h"
#include "core/ConnectionFailure.h"
#include "platform/Sockets.h"

BufferedWriteAsyncSocketNotifierWrapper::BufferedWriteAsyncSocketNotifierWrapper(AsyncSocketNotifier* notifier,
                                                                                 win32::CriticalSection& socketLock)
    : notifier(notifier), socketLock(socketLock)
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
        int result = win32::SOCKET_ERROR;
        int error = win32::WSAENOTSOCK;
        {
            win32::LockGuard socketGuard(socketLock);
            if (const win32::SOCKET socket = notifier->Socket(); socket != win32::INVALID_SOCKET) {
                result = win32::send(socket, data + sent, static_cast<int>(length - sent), 0);
                error = result == win32::SOCKET_ERROR ? win32::WSAGetLastError() : 0;
            }
        }
        if (result == win32::SOCKET_ERROR) {
            if (error != win32::WSAEWOULDBLOCK) {
                throw ConnectionFailure();
            }
            notifier->Wait(win32::FD_WRITE | win32::FD_CLOSE);
            continue;
        }
        sent += static_cast<std::uint32_t>(result);
    }
}
