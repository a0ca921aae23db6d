// The one wait loop behind WaitForMultipleObjects and the message-aware waits: poll(2) on the objects' eventfds
// and, for a message-aware wait, on the calling thread's queue (its wake-up eventfd, its sockets, its signals).
#pragma once

#include "platform/Win32Types.h"

namespace win32::detail {

class MessageQueue;

// queue is the calling thread's queue for a message-aware wait (then wakeMask selects the input that ends it,
// with the result WAIT_OBJECT_0 + count), or null for a plain wait.
DWORD WaitForObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds, DWORD wakeMask,
                     MessageQueue* queue);

}  // namespace win32::detail
