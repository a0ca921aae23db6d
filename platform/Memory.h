// The process heap's handling of large blocks.
#pragma once

namespace win32 {

// Has the heap serve blocks of mail size (up to tens of MiB) from memory it keeps, and keep freed memory (up to a
// bound) for the next ones, instead of mapping fresh memory for each: memory new from the system costs a page
// fault per 4 KiB when first written, which for a mail of several MiB costs more than relaying it.
void RetainFreedHeapMemory();

// Gives the free memory the heap keeps (in every arena, above the bound as well) back to the system. For a moment
// when the process has become idle: memory used by a burst of work then stops counting as the process's own.
void ReleaseFreeHeapMemory();

}  // namespace win32
