#pragma once

// Rectangle arithmetic shared by the layout code. Extents are computed in
// 64 bits so that rectangles spanning the whole 32-bit range cannot
// overflow, and results are saturated back into 32 bits.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/plane_geometry.h"

namespace Orvex::layout_internal {

inline int64_t Width(const PlaneRect& r) { return int64_t{r.right} - r.left; }
inline int64_t Height(const PlaneRect& r) { return int64_t{r.bottom} - r.top; }
inline bool IsEmpty(const PlaneRect& r) { return r.left >= r.right || r.top >= r.bottom; }

inline int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// floor(v + 0.5), saturated so that huge or non-finite values never reach
// an out-of-range conversion.
// Done in the precision of the argument: the scales are extended precision,
// the clipping arithmetic is double.
template <class Float>
int64_t RoundHalfUp(Float v) {
  constexpr Float kLimit = 4.0e18;
  if (std::isnan(v)) return 0;
  return static_cast<int64_t>(std::clamp<Float>(std::floor(v + Float{0.5}), -kLimit, kLimit));
}

inline PlaneRect Intersect(const PlaneRect& a, const PlaneRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

}  // namespace Orvex::layout_internal
