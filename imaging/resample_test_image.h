#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/resample_kernels.h"

namespace Orvex::Detail {

// A test image of 32-bit pixels whose rows carry a few bytes of padding,
// filled with a marker, so that writes outside the pixels show up.
struct TestImage {
  static constexpr uint8_t kPadding = 0xA5;

  TestImage(int32_t w, int32_t h)
      : width(w),
        height(h),
        step(4 * static_cast<ptrdiff_t>(w) + 12),
        bytes(static_cast<size_t>(step) * h + 4, kPadding) {
    for (int32_t y = 0; y < h; ++y) std::fill_n(Row(y), 4 * w, uint8_t{0});
  }

  uint8_t* Row(int32_t y) { return bytes.data() + step * y; }
  const uint8_t* Row(int32_t y) const { return bytes.data() + step * y; }
  uint8_t* At(int32_t x, int32_t y) { return Row(y) + 4 * x; }
  const uint8_t* At(int32_t x, int32_t y) const { return Row(y) + 4 * x; }
  SImageView View() { return SImageView{bytes.data(), step, width, height}; }

  // Random bytes, or (hard) only 0 and 255, whose edges make Lanczos ring
  // past the byte range so that clamping is exercised.
  void Randomise(uint32_t seed, bool hard) {
    std::mt19937 engine(seed);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t i = 0; i < 4 * width; ++i) {
        const uint32_t v = engine();
        Row(y)[i] = hard ? ((v & 1) ? 255 : 0) : static_cast<uint8_t>(v);
      }
    }
  }

  bool PaddingIntact() const {
    for (int32_t y = 0; y < height; ++y) {
      for (ptrdiff_t i = 4 * static_cast<ptrdiff_t>(width); i < step; ++i) {
        if (Row(y)[i] != kPadding) return false;
      }
    }
    return true;
  }

  int32_t width;
  int32_t height;
  ptrdiff_t step;
  std::vector<uint8_t> bytes;
};

}  // namespace Orvex::Detail
