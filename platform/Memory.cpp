#include "platform/Memory.h"

#include <malloc.h>

namespace win32 {
namespace {
// Blocks below this come from the heap's arenas, where freed memory is reused.
constexpr int kLargestHeapBlock = 16 * 1024 * 1024;
// Free memory at the top of an arena beyond this goes back to the system.
constexpr int kRetainedFreeMemory = 32 * 1024 * 1024;
}  // namespace

void RetainFreedHeapMemory()
{
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, kRetainedFreeMemory);
}

void ReleaseFreeHeapMemory()
{
    malloc_trim(0);
}

}  // namespace win32
