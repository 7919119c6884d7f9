#include "foundation/release_memory.h"

#include "foundation/win32/win32.h"

namespace Orvex {

void ReleaseFreeMemory() {
  // Coalesces the free blocks of the process heap and decommits the large
  // free ones; the heap itself gives back what it no longer needs.
  (void)HeapCompact(GetProcessHeap(), 0);
}

}  // namespace Orvex
