#include "foundation/processor_count.h"

#include <thread>

namespace Orvex {

int ProcessorCount() {
  // The standard library asks the system (GetSystemInfo on Windows, the
  // online processor count on Linux); it may answer 0 when it cannot tell.
  static const int count = [] {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
  }();
  return count;
}

}  // namespace Orvex
