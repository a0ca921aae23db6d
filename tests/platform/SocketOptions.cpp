#include "SocketOptions.h"

#include <sys/socket.h>

bool ShrinkSendBuffer(win32::SOCKET s, int bytes)
{
    return ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}
