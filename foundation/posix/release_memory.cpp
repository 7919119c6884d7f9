#include "foundation/release_memory.h"

// Any C library header names the library; malloc_trim is glibc's own.
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Orvex {

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  // Trims every arena, not only the main one, and returns the free pages in
  // the middle of a heap as well as its top.
  (void)malloc_trim(0);
#endif
}

}  // namespace Orvex
