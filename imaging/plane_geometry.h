#pragma once

#include <cstdint>

namespace Orvex {

// Width and height of a plane or an image, in pixels.
struct PlaneSize {
  int32_t width;
  int32_t height;

  bool operator==(const PlaneSize&) const = default;
};

// A rectangle of pixels; right and bottom are exclusive. It is empty unless
// left < right and top < bottom.
struct PlaneRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  bool operator==(const PlaneRect&) const = default;
};

// The clip rectangle of a drawing operation; a zeroed clip (enabled false)
// leaves only the planes' own bounds as limits.
struct PlaneClip {
  PlaneRect rect;
  bool enabled;

  bool operator==(const PlaneClip&) const = default;
};

}  // namespace Orvex
