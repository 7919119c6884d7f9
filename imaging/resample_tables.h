#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvex::Detail {

// The Lanczos3 kernel, evaluated in extended precision.
long double Lanczos3(long double x);

// Lanczos3 taps for one pass along one axis, from source_length pixels to
// dest_length pixels (both > 0). Every position has the same tap count;
// indices are clamped to the source, weights are 16.16 fixed point
// normalised per position (truncated, so they sum to just under 65536).
struct SLanczosData {
  SLanczosData(int32_t source_length, int32_t dest_length);

  int32_t source_length;
  int32_t length;
  int32_t tap_count;

  const int32_t* Indices(int32_t position) const {
    return buffer_.data() + static_cast<size_t>(position) * 2 * tap_count;
  }
  const int32_t* Weights(int32_t position) const { return Indices(position) + tap_count; }

 private:
  // Position by position: tap_count indices, then tap_count weights.
  std::vector<int32_t> buffer_;
};

// Pixel-averaging taps: area averaging when reducing, linear interpolation
// when enlarging. The taps of a position are consecutive source pixels.
struct SPixelAverationData {
  SPixelAverationData(int32_t source_length, int32_t dest_length);

  int32_t source_length;
  int32_t length;
  int32_t max_taps;

  int32_t First(int32_t position) const { return first_[position]; }
  int32_t TapCount(int32_t position) const { return count_[position]; }
  const int32_t* Weights(int32_t position) const {
    return weights_.data() + static_cast<size_t>(position) * max_taps;
  }

 private:
  std::vector<int32_t> first_;
  std::vector<int32_t> count_;
  std::vector<int32_t> weights_;  // length x max_taps
};

}  // namespace Orvex::Detail
