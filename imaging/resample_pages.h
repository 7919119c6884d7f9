#pragma once

#include <cstddef>

namespace Orvex::Detail {

// Asks the system to back the untouched memory [begin, begin + bytes) with
// large pages where it can, so that filling a plane of many megabytes costs
// a few hundred page faults instead of tens of thousands. Only advice: the
// contents do not change and nothing happens where it is not supported.
void PreferLargePages(void* begin, size_t bytes);

}  // namespace Orvex::Detail
