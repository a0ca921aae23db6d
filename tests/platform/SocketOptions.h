// Socket options the Winsock layer does not offer, set directly for tests (kept apart from the platform headers,
// whose names the system's socket macros would clash with).
#pragma once

#include "platform/Sockets.h"

// Shrinks the kernel's send buffer so that a test can fill it quickly; true on success.
bool ShrinkSendBuffer(win32::SOCKET s, int bytes);
