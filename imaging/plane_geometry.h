#pragma once

#include <algorithm>
#include <cstdint>

namespace Orvex {

struct PlaneSize {
  int32_t width;
  int32_t height;

  friend bool operator==(const PlaneSize&, const PlaneSize&) = default;
};

// Right and bottom are exclusive.
struct PlaneRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  bool IsEmpty() const { return left >= right || top >= bottom; }
  // Only meaningful for a non-empty rectangle; 64-bit so that rectangles
  // spanning the whole int32_t range cannot overflow.
  int64_t Width() const { return int64_t{right} - left; }
  int64_t Height() const { return int64_t{bottom} - top; }

  friend bool operator==(const PlaneRect&, const PlaneRect&) = default;
};

// A zero-initialised clip (enabled false) limits nothing.
struct PlaneClip {
  PlaneRect rect;
  bool enabled;
};

inline PlaneRect Intersect(const PlaneRect& a, const PlaneRect& b) {
  return PlaneRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom)};
}

}  // namespace Orvex
