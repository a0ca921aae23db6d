// The one wait loop behind WaitForMultipleObjects and the message-aware waits. Objects already signalled are taken
// at once; otherwise the caller registers with the objects (KernelObjectLinux.h) and polls its own wake-up
// descriptor: its queue's for a message-aware wait (together with its sockets and signals), else its thread's wait
// descriptor.
#pragma once

#include "platform/Win32Types.h"

namespace win32::detail {

class MessageQueue;

// queue is the calling thread's queue for a message-aware wait (then wakeMask selects the input that ends it,
// with the result WAIT_OBJECT_0 + count), or null for a plain wait.
DWORD WaitForObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds, DWORD wakeMask,
                     MessageQueue* queue);

}  // namespace win32::detail
