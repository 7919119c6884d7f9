#pragma once

#include <cstddef>

namespace Orvex::Detail {

// Asks the system to back the untouched memory [begin, begin + bytes) with
// large pages where it can, so that filling a plane or a file buffer of many
// megabytes costs a few hundred page faults instead of tens of thousands. Only advice: the
// contents do not change and nothing happens where it is not supported.
void PreferLargePages(void* begin, size_t bytes);

// Maps the memory's pages in, writable, with one call to the system rather
// than a page fault at the first write to each of them: for memory that is
// about to be filled, where thousands of faults cost more than the filling.
// The contents do not change. False where the system cannot; the pages are
// then mapped as they are first written.
bool PopulatePages(void* begin, size_t bytes);

// The large page size that PreferLargePages works in.
inline constexpr size_t kLargePageBytes = size_t{2} << 20;

}  // namespace Orvex::Detail
