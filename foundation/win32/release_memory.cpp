#include "foundation/release_memory.h"

#include <algorithm>
#include <iterator>

#include "foundation/win32/win32.h"

namespace Orvex {

void ReleaseFreeMemory() {
  // Coalesces the free blocks and decommits the large free ones, in every
  // heap of the process: the C library's allocations may live in a heap of
  // its own (msvcrt makes one) rather than in the process heap.
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(static_cast<DWORD>(std::size(heaps)), heaps);
  for (DWORD i = 0; i < std::min<DWORD>(count, static_cast<DWORD>(std::size(heaps))); ++i) {
    (void)HeapCompact(heaps[i], 0);
  }
}

}  // namespace Orvex
