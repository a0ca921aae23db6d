// Socket options the Winsock layer does not offer, set directly for tests (kept apart from the platform headers,
// whose names the system's socket macros would clash with).
#pragma once

#include "platform/Sockets.h"

// Makes the socket's close a reset (SO_LINGER with a zero time) instead of an orderly end; true on success.
bool ResetOnClose(win32::SOCKET s);
