#pragma once

#include <cstdint>

namespace Orvex {

// The most pixels a loader accepts in one picture: 2^28, a 16384 x 16384
// square or a panorama of 268 megapixels, whose 32-bit plane takes 1 GiB.
// A damaged or hostile file of a few kilobytes can claim 65500 x 65500
// pixels, a 17 GB plane and minutes of decoding for nothing; loaders refuse
// such a picture from its header, before anything is allocated, as they
// refuse any picture they cannot load.
constexpr uint64_t kMaxImagePixels = uint64_t{1} << 28;

// Whether a picture of this size stays within kMaxImagePixels. Negative
// sizes are not: they are damage.
constexpr bool IsWithinPixelLimit(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 &&
         (width == 0 ||
          static_cast<uint64_t>(height) <= kMaxImagePixels / static_cast<uint64_t>(width));
}

}  // namespace Orvex
