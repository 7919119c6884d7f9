#pragma once

// Number conversions shared by the layout code: results computed in 64
// bits or in floating point are saturated back into 32 bits.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace Orvex::layout_internal {

inline int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// floor(v + 0.5) in the precision of the argument (extended for the scales,
// double for the clipping), saturated so that huge or non-finite values
// never reach an out-of-range conversion.
template <class Float>
int64_t RoundHalfUp(Float v) {
  constexpr Float kLimit = 4.0e18;
  if (std::isnan(v)) return 0;
  return static_cast<int64_t>(std::clamp<Float>(std::floor(v + Float{0.5}), -kLimit, kLimit));
}

}  // namespace Orvex::layout_internal
