#include "imaging/resample_kernels.h"

namespace Orvex::Detail {

void STapPlan::Allocate(int32_t source, int32_t dest, int32_t max_taps) {
  source_length = source;
  length = dest;
  // An even count lets every kernel take the taps two at a time.
  taps = max_taps + (max_taps & 1);
  index.assign(static_cast<size_t>(dest) * taps, 0);
  weight.assign(static_cast<size_t>(dest) * taps, 0);
}

void STapPlan::Finish() {
  split.assign(static_cast<size_t>(length) * taps * 2, 0);
  adjacent.assign(length, 1);
  for (int32_t i = 0; i < length; ++i) {
    const int32_t* idx = Indices(i);
    const int32_t* w = Weights(i);
    int16_t* out = split.data() + static_cast<size_t>(i) * taps * 2;
    for (int32_t j = 0; j < taps; j += 2) {
      out[2 * j + 0] = static_cast<int16_t>(w[j] >> 8);
      out[2 * j + 1] = static_cast<int16_t>(w[j + 1] >> 8);
      out[2 * j + 2] = static_cast<int16_t>(w[j] & 0xFF);
      out[2 * j + 3] = static_cast<int16_t>(w[j + 1] & 0xFF);
      if (idx[j + 1] != idx[j] + 1) adjacent[i] = 0;
    }
  }
}

// Padding taps carry weight 0 and read the pixel after the last real tap
// (or the last one again at the end of the row), so they stay inside the
// source and keep runs of neighbouring pixels intact.
static void PadTaps(int32_t* idx, int32_t* w, int32_t used, int32_t taps, int32_t source_length) {
  for (int32_t j = used; j < taps; ++j) {
    const int32_t previous = j > 0 ? idx[j - 1] : 0;
    idx[j] = previous + 1 < source_length ? previous + 1 : previous;
    w[j] = 0;
  }
}

STapPlan::STapPlan(const SLanczosData& table) {
  Allocate(table.source_length, table.length, table.tap_count);
  for (int32_t i = 0; i < length; ++i) {
    int32_t* idx = index.data() + static_cast<size_t>(i) * taps;
    int32_t* w = weight.data() + static_cast<size_t>(i) * taps;
    for (int32_t j = 0; j < table.tap_count; ++j) {
      idx[j] = table.Indices(i)[j];
      w[j] = table.Weights(i)[j];
    }
    PadTaps(idx, w, table.tap_count, taps, source_length);
  }
  Finish();
}

STapPlan::STapPlan(const SPixelAverationData& table) {
  Allocate(table.source_length, table.length, table.max_taps);
  for (int32_t i = 0; i < length; ++i) {
    int32_t* idx = index.data() + static_cast<size_t>(i) * taps;
    int32_t* w = weight.data() + static_cast<size_t>(i) * taps;
    const int32_t count = table.TapCount(i);
    for (int32_t j = 0; j < count; ++j) {
      idx[j] = table.First(i) + j;
      w[j] = table.Weights(i)[j];
    }
    PadTaps(idx, w, count, taps, source_length);
  }
  Finish();
}

STapPlan::STapPlan(const STapPlan& plan, int32_t begin, int32_t end, int32_t offset,
                   int32_t ring_rows)
    : source_length(plan.source_length), length(end - begin), taps(plan.taps) {
  const auto first = static_cast<size_t>(begin) * taps;
  const auto last = static_cast<size_t>(end) * taps;
  index.assign(plan.index.begin() + first, plan.index.begin() + last);
  for (int32_t& i : index) i = (i + offset) % ring_rows;
  weight.assign(plan.weight.begin() + first, plan.weight.begin() + last);
  split.assign(plan.split.begin() + 2 * first, plan.split.begin() + 2 * last);
  adjacent.assign(length, 1);
  for (int32_t i = 0; i < length; ++i) {
    const int32_t* idx = Indices(i);
    for (int32_t j = 0; j < taps; j += 2) {
      if (idx[j + 1] != idx[j] + 1) adjacent[i] = 0;
    }
  }
}

void HorizontalPassPortable(const STapPlan& plan, const SImageView& src, const SImageView& dst,
                            int32_t row_begin, int32_t row_end, bool keep_alpha) {
  const int32_t taps = plan.taps;
  for (int32_t y = row_begin; y < row_end; ++y) {
    const uint8_t* s = src.Row(y);
    uint8_t* d = dst.Row(y);
    for (int32_t i = 0; i < plan.length; ++i, d += 4) {
      const int32_t* idx = plan.Indices(i);
      const int32_t* w = plan.Weights(i);
      int32_t b = 0, g = 0, r = 0, a = 0;
      for (int32_t j = 0; j < taps; j += 2) {
        const uint8_t* p0 = s + 4 * static_cast<ptrdiff_t>(idx[j]);
        const uint8_t* p1 = s + 4 * static_cast<ptrdiff_t>(idx[j + 1]);
        const int32_t w0 = w[j];
        const int32_t w1 = w[j + 1];
        b += w0 * p0[0] + w1 * p1[0];
        g += w0 * p0[1] + w1 * p1[1];
        r += w0 * p0[2] + w1 * p1[2];
        a += w0 * p0[3] + w1 * p1[3];
      }
      d[0] = FixedToByte(b);
      d[1] = FixedToByte(g);
      d[2] = FixedToByte(r);
      d[3] = keep_alpha ? FixedToByte(a) : 0;
    }
  }
}

void VerticalRowPortable(const STapPlan& plan, const SImageView& src, uint8_t* dst_row, int32_t row,
                         int32_t x_begin, int32_t x_end, bool keep_alpha) {
  const int32_t taps = plan.taps;
  const int32_t* idx = plan.Indices(row);
  const int32_t* w = plan.Weights(row);
  for (int32_t x = x_begin; x < x_end; ++x) {
    int32_t b = 0, g = 0, r = 0, a = 0;
    for (int32_t j = 0; j < taps; j += 2) {
      const uint8_t* p0 = src.Row(idx[j]) + 4 * static_cast<ptrdiff_t>(x);
      const uint8_t* p1 = src.Row(idx[j + 1]) + 4 * static_cast<ptrdiff_t>(x);
      const int32_t w0 = w[j];
      const int32_t w1 = w[j + 1];
      b += w0 * p0[0] + w1 * p1[0];
      g += w0 * p0[1] + w1 * p1[1];
      r += w0 * p0[2] + w1 * p1[2];
      a += w0 * p0[3] + w1 * p1[3];
    }
    uint8_t* d = dst_row + 4 * static_cast<ptrdiff_t>(x);
    d[0] = FixedToByte(b);
    d[1] = FixedToByte(g);
    d[2] = FixedToByte(r);
    d[3] = keep_alpha ? FixedToByte(a) : 0;
  }
}

void VerticalPassPortable(const STapPlan& plan, const SImageView& src, const SImageView& dst,
                          int32_t row_begin, int32_t row_end, bool keep_alpha) {
  for (int32_t y = row_begin; y < row_end; ++y) {
    VerticalRowPortable(plan, src, dst.Row(y), y, 0, dst.width, keep_alpha);
  }
}

const SPassKernels& PassKernelsFor(SimdLevel level) {
  static const SPassKernels kPortable{HorizontalPassPortable, VerticalPassPortable};
  static const SPassKernels kSse2{HorizontalPassSse2, VerticalPassSse2};
  static const SPassKernels kAvx2{HorizontalPassAvx2, VerticalPassAvx2};
  const SimdLevel detected = DetectedSimdLevel();
  if (static_cast<int>(level) > static_cast<int>(detected)) level = detected;
  switch (level) {
    case SimdLevel::kAvx2:
      return kAvx2;
    case SimdLevel::kSse2:
      return kSse2;
    case SimdLevel::kPortable:
      break;
  }
  return kPortable;
}

}  // namespace Orvex::Detail
