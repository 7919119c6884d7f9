#include "foundation/large_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace Orvex::Detail {

void PreferLargePages(void* begin, size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Only whole large pages inside the range: the advice applies to the
  // mapping, which may hold other allocations around the plane.
  constexpr uintptr_t kLargePage = kLargePageBytes;
  const auto start = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t end = (start + bytes) & ~(kLargePage - 1);
  if (end > first) {
    (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
#else
  (void)begin;
  (void)bytes;
#endif
}

bool PopulatePages(void* begin, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  if (bytes == 0) return true;
  // The pages that hold the range, which are mapped if the range is.
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t first = start & ~(page - 1);
  const uintptr_t end = (start + bytes + page - 1) & ~(page - 1);
  return madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE) == 0;
#else
  (void)begin;
  (void)bytes;
  return false;
#endif
}

}  // namespace Orvex::Detail
