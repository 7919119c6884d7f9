#include "imaging/pixel_filters.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/pixel_area.h"

namespace Orvex {

namespace {

using Detail::Clamp255;
using Detail::SourceArea;

uint8_t* DestRow(const PlaneBitsLock& lock, const SourceArea& area, int32_t y) {
  return lock.Row(area.Dest().top + y) + ptrdiff_t{area.Dest().left} * 4;
}

void CopyArea(const PlaneBitsLock& lock, const SourceArea& area) {
  for (int32_t y = 0; y < area.Height(); ++y) {
    std::memmove(DestRow(lock, area, y), area.Row(0, y), size_t(area.Width()) * 4);
  }
}

// Applies combine(c, m) per channel, m the mean of the direct neighbours
// inside the area: four inside, three on an edge, two in a corner. The
// three-neighbour mean is 85/256 of the sum, as the filter has always had.
template <typename Combine>
void NeighbourFilter(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                     const PlaneRect& source_rect, const PlaneClip& clip, Combine combine) {
  const SourceArea area(dest, {&source}, dx, dy, source_rect, clip);
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(dest);
  const int32_t w = area.Width();
  const int32_t h = area.Height();
  if (w < 2 || h < 2) {
    CopyArea(lock, area);
    return;
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = area.Row(0, y);
    const uint8_t* up = y > 0 ? area.Row(0, y - 1) : nullptr;
    const uint8_t* down = y + 1 < h ? area.Row(0, y + 1) : nullptr;
    uint8_t* out = DestRow(lock, area, y);
    for (int32_t x = 0; x < w; ++x) {
      const ptrdiff_t at = ptrdiff_t{x} * 4;
      for (int c = 0; c < 3; ++c) {
        int32_t sum = 0;
        int n = 0;
        if (up) sum += up[at + c], ++n;
        if (down) sum += down[at + c], ++n;
        if (x > 0) sum += row[at - 4 + c], ++n;
        if (x + 1 < w) sum += row[at + 4 + c], ++n;
        const int32_t m = n == 4 ? sum / 4 : (n == 3 ? 85 * sum / 256 : sum / 2);
        out[at + c] = Clamp255(combine(int32_t{row[at + c]}, m));
      }
      out[at + 3] = 0;
    }
  }
}

// Normalised weights of a Gaussian, index 0 at offset -radius.
std::vector<double> GaussianWeights(double sigma, int32_t radius) {
  std::vector<double> w(size_t(2 * radius + 1));
  double sum = 0;
  for (int32_t i = -radius; i <= radius; ++i) {
    w[size_t(i + radius)] = std::exp(-double(i) * i / (2 * sigma * sigma));
    sum += w[size_t(i + radius)];
  }
  for (double& v : w) v /= sum;
  return w;
}

// One pass along a line of `n` pixels `stride` bytes apart, edge pixels
// repeated. The taps that fall beyond an end all read the end pixel, so
// their weights are summed (from prefix sums) and rounded once: a wide blur
// of a small area costs no more than the area, and the many tiny weights
// of a huge sigma do not each round away to nothing.
void BlurLine(const uint8_t* in, ptrdiff_t in_stride, uint8_t* out, ptrdiff_t out_stride, int32_t n,
              const std::vector<int32_t>& weights, const std::vector<double>& prefix,
              int32_t radius) {
  // prefix[k] = sum of the weights of offsets -radius .. k - radius - 1.
  auto sum_offsets = [&](int64_t from, int64_t to) {  // inclusive offsets
    from = std::max<int64_t>(from, -radius);
    to = std::min<int64_t>(to, radius);
    return from > to
               ? int64_t{0}
               : std::llround((prefix[size_t(to + radius + 1)] - prefix[size_t(from + radius)]) *
                              65536);
  };
  for (int32_t i = 0; i < n; ++i) {
    int64_t acc[3] = {32768, 32768, 32768};
    const int32_t first = int32_t(std::max<int64_t>(0, int64_t{i} - radius));
    const int32_t last = int32_t(std::min<int64_t>(n - 1, int64_t{i} + radius));
    for (int32_t j = first; j <= last; ++j) {
      int64_t wk;
      if (n == 1) {
        wk = sum_offsets(-radius, radius);
      } else if (j == 0) {
        wk = sum_offsets(-radius, -i);
      } else if (j == n - 1) {
        wk = sum_offsets(int64_t{n} - 1 - i, radius);
      } else {
        wk = weights[size_t(j - i + radius)];
      }
      const uint8_t* p = in + in_stride * j;
      acc[0] += wk * p[0];
      acc[1] += wk * p[1];
      acc[2] += wk * p[2];
    }
    uint8_t* q = out + out_stride * i;
    for (int c = 0; c < 3; ++c) q[c] = uint8_t(std::clamp<int64_t>(acc[c] >> 16, 0, 255));
    q[3] = 0;
  }
}

}  // namespace

void Sharpen(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
             const PlaneRect& source_rect, const PlaneClip& clip) {
  NeighbourFilter(dest, source, dx, dy, source_rect, clip,
                  [](int32_t c, int32_t m) { return c + (c - m) / 2; });
}

void SharpenStrong(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip) {
  NeighbourFilter(dest, source, dx, dy, source_rect, clip,
                  [](int32_t c, int32_t m) { return 2 * c - m; });
}

void Smooth(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
            const PlaneRect& source_rect, const PlaneClip& clip) {
  NeighbourFilter(dest, source, dx, dy, source_rect, clip,
                  [](int32_t c, int32_t m) { return (c + m) / 2; });
}

void GaussianBlur(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, double sigma, const PlaneClip& clip) {
  const SourceArea area(dest, {&source}, dx, dy, source_rect, clip);
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(dest);
  // Past a radius of 2^20 the weight table alone takes megabytes, for a
  // blur that has long since turned any image into one colour.
  const double reach = std::isfinite(sigma) ? std::min(3 * sigma, double(1 << 20)) : 0;
  const int32_t radius = reach > 0 ? int32_t(reach) : 0;
  if (radius == 0) {
    CopyArea(lock, area);
    return;
  }
  const std::vector<double> exact = GaussianWeights(sigma, radius);
  std::vector<int32_t> weights(exact.size());
  std::vector<double> prefix(exact.size() + 1, 0);
  for (size_t k = 0; k < exact.size(); ++k) {
    weights[k] = int32_t(std::lround(exact[k] * 65536));
    prefix[k + 1] = prefix[k] + exact[k];
  }
  const int32_t w = area.Width();
  const int32_t h = area.Height();
  CMemoryPlane32 temp;
  temp.SetSize(PlaneSize{w, h});
  PlaneBitsLock temp_lock(temp);
  for (int32_t y = 0; y < h; ++y) {
    BlurLine(area.Row(0, y), 4, temp_lock.Row(y), 4, w, weights, prefix, radius);
  }
  for (int32_t x = 0; x < w; ++x) {
    BlurLine(temp_lock.Row(0) + ptrdiff_t{x} * 4, temp_lock.Step(),
             DestRow(lock, area, 0) + ptrdiff_t{x} * 4, lock.Step(), h, weights, prefix, radius);
  }
}

void UnsharpCombine(CPlane32& dest, const CPlane32& source, const CPlane32& blurred, int32_t dx,
                    int32_t dy, const PlaneRect& source_rect, const PlaneClip& clip) {
  Detail::ForEachCopyRow2(dest, source, blurred, dx, dy, source_rect, clip,
                          [](uint8_t* d, const uint8_t* s, const uint8_t* b, int32_t n) {
                            for (int32_t i = 0; i < n; ++i, d += 4, s += 4, b += 4) {
                              for (int c = 0; c < 3; ++c) d[c] = Clamp255(s[c] + (s[c] - b[c]) / 2);
                              d[3] = 0;
                            }
                          });
}

void EdgeDetect(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, double strength, const PlaneClip& clip) {
  const SourceArea area(dest, {&source}, dx, dy, source_rect, clip);
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(dest);
  const int32_t w = area.Width();
  const int32_t h = area.Height();
  if (w < 3 || h < 3) {
    CopyArea(lock, area);
    return;
  }
  // Entries are kept in 64 bits and bounded so that twelve of them still
  // add up without overflow for any strength.
  int64_t table[256];
  for (int d = 0; d < 256; ++d) {
    const double v = 256.0 * strength * d * d;
    table[d] = std::isnan(v) ? 0 : int64_t(std::clamp(v, -1e15, 1e15));
  }
  for (int32_t y = 1; y + 1 < h; ++y) {
    const uint8_t* up = area.Row(0, y - 1);
    const uint8_t* row = area.Row(0, y);
    const uint8_t* down = area.Row(0, y + 1);
    uint8_t* out = DestRow(lock, area, y);
    for (int32_t x = 1; x + 1 < w; ++x) {
      const ptrdiff_t at = ptrdiff_t{x} * 4;
      int64_t sum = 0;
      for (int c = 0; c < 3; ++c) {
        const int v = row[at + c];
        sum += table[std::abs(v - up[at + c])] + table[std::abs(v - down[at + c])] +
               table[std::abs(v - row[at - 4 + c])] + table[std::abs(v - row[at + 4 + c])];
      }
      const uint8_t grey = uint8_t(std::clamp<int64_t>(sum / 256, 0, 255));
      out[at] = out[at + 1] = out[at + 2] = grey;
      out[at + 3] = 0;
    }
  }
}

void MedianFilter(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, const PlaneClip& clip) {
  const SourceArea area(dest, {&source}, dx, dy, source_rect, clip);
  if (area.IsEmpty() || area.Width() <= 2 || area.Height() <= 2) return;
  PlaneBitsLock lock(dest);
  for (int32_t y = 1; y + 1 < area.Height(); ++y) {
    uint8_t* out = DestRow(lock, area, y);
    for (int32_t x = 1; x + 1 < area.Width(); ++x) {
      const uint8_t* cells[9];
      int n = 0;
      for (int32_t j = -1; j <= 1; ++j) {
        for (int32_t i = -1; i <= 1; ++i) cells[n++] = area.Row(0, y + j) + ptrdiff_t{x + i} * 4;
      }
      std::stable_sort(cells, cells + 9, [](const uint8_t* a, const uint8_t* b) {
        return a[0] + a[1] + a[2] < b[0] + b[1] + b[2];
      });
      std::memcpy(out + ptrdiff_t{x} * 4, cells[4], 4);
    }
  }
}

}  // namespace Orvex
