#include "SocketOptions.h"

#include <sys/socket.h>

bool ResetOnClose(win32::SOCKET s)
{
    const linger abortive{1, 0};
    return ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive) == 0;
}
