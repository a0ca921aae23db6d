// The process heap's handling of large blocks.
#pragma once

namespace win32 {

// Has the heap serve blocks of mail size (up to tens of MiB) from memory it keeps, and keep freed memory (up to a
// bound) for the next ones, instead of mapping fresh memory for each: memory new from the system costs a page
// fault per 4 KiB when first written, which for a mail of several MiB costs more than relaying it.
void RetainFreedHeapMemory();

// Gives the free memory the heap keeps back to the system. For a moment when the process has become idle: memory
// used by a burst of work then stops counting as the process's own. The free memory at the top of a per-thread
// arena stays (up to the bound above), so the number of arenas is bounded as well (LimitHeapArenas).
void ReleaseFreeHeapMemory();

// Bounds the heap's per-thread arenas to two per processor. Every arena keeps what it grew to at the busiest
// moment, and the heap's default (eight per processor) lets a storm of short connections, two threads each,
// leave that much behind in every one of them; the threads of a connection mostly wait on sockets, so a few
// arenas per processor are enough to keep them from waiting on each other's allocations. Call before the
// threads are started.
void LimitHeapArenas();

}  // namespace win32
