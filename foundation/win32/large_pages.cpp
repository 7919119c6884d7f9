#include "foundation/large_pages.h"

namespace Orvex::Detail {

// Large pages on Windows need a privilege that ordinary users lack, and
// only for memory allocated as such from the start.
void PreferLargePages(void*, size_t) {}

bool PopulatePages(void*, size_t) { return false; }

}  // namespace Orvex::Detail
