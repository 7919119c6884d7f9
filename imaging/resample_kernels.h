#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/cpu_features.h"
#include "imaging/resample_tables.h"

namespace Orvex::Detail {

// 32-bit pixels (bytes B, G, R, A) in memory that the caller keeps alive:
// the top row's first pixel and the signed step from one row to the next.
struct SImageView {
  uint8_t* bits;
  ptrdiff_t step;
  int32_t width;
  int32_t height;

  uint8_t* Row(int32_t y) const { return bits + step * y; }
};

// The taps of one pass in the form every kernel reads: a fixed, even number
// of taps per position (shorter positions are padded with weight 0, which
// adds nothing), plus the weights split for 16-bit multiply-adds.
struct STapPlan {
  explicit STapPlan(const SLanczosData& table);
  explicit STapPlan(const SPixelAverationData& table);
  // Positions [begin, end) of `plan`, numbered from 0, with every index i
  // turned into (i + offset) % ring_rows: the same taps for a vertical pass
  // that writes a band of rows on its own and reads a ring of rows.
  STapPlan(const STapPlan& plan, int32_t begin, int32_t end, int32_t offset, int32_t ring_rows);

  int32_t source_length;
  int32_t length;
  int32_t taps;

  const int32_t* Indices(int32_t position) const {
    return index.data() + static_cast<size_t>(position) * taps;
  }
  const int32_t* Weights(int32_t position) const {
    return weight.data() + static_cast<size_t>(position) * taps;
  }
  // Per tap pair j, j+1: (w_j >> 8, w_j+1 >> 8, w_j & 255, w_j+1 & 255).
  // A weight does not fit in 16 bits (65536 is 1.0), but both parts do, and
  // 256 * sum(hi * c) + sum(lo * c) is exactly sum(w * c).
  const int16_t* Split(int32_t position) const {
    return split.data() + static_cast<size_t>(position) * taps * 2;
  }
  // True when every tap pair of the position reads two neighbouring pixels.
  bool PairsAdjacent(int32_t position) const { return adjacent[position] != 0; }

  std::vector<int32_t> index;
  std::vector<int32_t> weight;
  std::vector<int16_t> split;
  std::vector<uint8_t> adjacent;

 private:
  void Allocate(int32_t source, int32_t dest, int32_t max_taps);
  void Finish();
};

// Computes destination rows [row_begin, row_end) of one pass. Horizontal:
// destination row r from source row r, dst.width == plan.length. Vertical:
// destination row r from the source rows the plan gives for r, columns
// [0, dst.width). With keep_alpha false the fourth byte is written 0.
using PassKernel = void (*)(const STapPlan& plan, const SImageView& src, const SImageView& dst,
                            int32_t row_begin, int32_t row_end, bool keep_alpha);

struct SPassKernels {
  PassKernel horizontal;
  PassKernel vertical;
};

// The kernels of one level; a level this build or processor lacks falls
// back to the best one below it.
const SPassKernels& PassKernelsFor(SimdLevel level);

// The portable forms, which define every output byte.
void HorizontalPassPortable(const STapPlan& plan, const SImageView& src, const SImageView& dst,
                            int32_t row_begin, int32_t row_end, bool keep_alpha);
void VerticalPassPortable(const STapPlan& plan, const SImageView& src, const SImageView& dst,
                          int32_t row_begin, int32_t row_end, bool keep_alpha);
// Columns [x_begin, x_end) of one vertical-pass row, for the SIMD forms'
// leftover pixels.
void VerticalRowPortable(const STapPlan& plan, const SImageView& src, uint8_t* dst_row, int32_t row,
                         int32_t x_begin, int32_t x_end, bool keep_alpha);

// 16.16 fixed point to a byte: add one half, shift, clamp to 0-255.
inline uint8_t FixedToByte(int32_t acc) {
  const int32_t v = (acc + 32768) >> 16;
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The processor-specific forms (x86 only), byte for byte the portable ones.
void HorizontalPassSse2(const STapPlan&, const SImageView&, const SImageView&, int32_t, int32_t,
                        bool);
void VerticalPassSse2(const STapPlan&, const SImageView&, const SImageView&, int32_t, int32_t,
                      bool);
void HorizontalPassAvx2(const STapPlan&, const SImageView&, const SImageView&, int32_t, int32_t,
                        bool);
void VerticalPassAvx2(const STapPlan&, const SImageView&, const SImageView&, int32_t, int32_t,
                      bool);

}  // namespace Orvex::Detail
