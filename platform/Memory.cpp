#include "platform/Memory.h"

#include <malloc.h>

#include <algorithm>
#include <thread>

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

void LimitHeapArenas()
{
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    mallopt(M_ARENA_MAX, 2 * processors);
}

}  // namespace win32
