#include "imaging/pixel_tone.h"

#include <algorithm>
#include <vector>

#include "imaging/pixel_area.h"

namespace Orvex {

namespace {

using Detail::ForEachRow;

template <typename Fn>
void ForEachPixel(CPlane32& plane, const PlaneRect& rect, Fn fn) {
  ForEachRow(plane, rect, [&](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i, p += 4) fn(p);
  });
}

// Block edges along one axis: a leftover of n mod block split between both
// ends, the smaller half first.
std::vector<int32_t> BlockEdges(int32_t start, int32_t n, int32_t block) {
  std::vector<int32_t> edges{start};
  const int32_t leftover = n % block;
  int32_t at = start + leftover / 2;
  if (at != start) edges.push_back(at);
  const int32_t end = start + n - (leftover - leftover / 2);
  while (at < end) edges.push_back(at += block);
  if (at != start + n) edges.push_back(start + n);
  return edges;
}

template <typename Fill>
void Mosaic(CPlane32& plane, int32_t block, const PlaneRect& rect, Fill fill) {
  if (block < 2) return;
  const PlaneRect area = Intersect(rect, plane.GetBounds());
  if (area.IsEmpty()) return;
  const std::vector<int32_t> xs = BlockEdges(area.left, int32_t(area.Width()), block);
  const std::vector<int32_t> ys = BlockEdges(area.top, int32_t(area.Height()), block);
  PlaneBitsLock lock(plane);
  for (size_t j = 0; j + 1 < ys.size(); ++j) {
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
      const PlaneRect cell{xs[i], ys[j], xs[i + 1], ys[j + 1]};
      const uint32_t value = fill(lock, cell);
      for (int32_t y = cell.top; y < cell.bottom; ++y) {
        uint8_t* p = lock.Row(y) + ptrdiff_t{cell.left} * 4;
        for (int32_t x = cell.left; x < cell.right; ++x, p += 4) Detail::StorePixel(p, value);
      }
    }
  }
}

}  // namespace

void Tint(CPlane32& plane, uint32_t color, int32_t amount, const PlaneRect& rect) {
  if (amount <= 0) return;
  if (amount >= 256) {
    plane.Fill(color, rect);
    return;
  }
  const int32_t k[3] = {int32_t(Detail::ColorBlue(color)), int32_t(Detail::ColorGreen(color)),
                        int32_t(Detail::ColorRed(color))};
  ForEachPixel(plane, rect, [&](uint8_t* p) {
    // The shift rounds toward minus infinity, as an arithmetic shift does.
    for (int c = 0; c < 3; ++c) p[c] = uint8_t(p[c] + ((amount * (k[c] - p[c])) >> 8));
    p[3] = 0;
  });
}

void AddColor(CPlane32& plane, uint32_t color, const PlaneRect& rect) {
  const int32_t k[3] = {int32_t(Detail::ColorBlue(color)), int32_t(Detail::ColorGreen(color)),
                        int32_t(Detail::ColorRed(color))};
  ForEachPixel(plane, rect, [&](uint8_t* p) {
    for (int c = 0; c < 3; ++c) p[c] = Detail::Clamp255(p[c] + k[c]);
  });
}

void SubtractColor(CPlane32& plane, uint32_t color, const PlaneRect& rect) {
  const int32_t k[3] = {int32_t(Detail::ColorBlue(color)), int32_t(Detail::ColorGreen(color)),
                        int32_t(Detail::ColorRed(color))};
  ForEachPixel(plane, rect, [&](uint8_t* p) {
    for (int c = 0; c < 3; ++c) p[c] = Detail::Clamp255(p[c] - k[c]);
  });
}

void MosaicCentre(CPlane32& plane, int32_t block, const PlaneRect& rect) {
  Mosaic(plane, block, rect, [](const PlaneBitsLock& lock, const PlaneRect& cell) {
    const int32_t x = cell.left + int32_t(cell.Width() / 2);
    const int32_t y = cell.top + int32_t(cell.Height() / 2);
    return Detail::LoadPixel(lock.Row(y) + ptrdiff_t{x} * 4);
  });
}

void MosaicAverage(CPlane32& plane, int32_t block, const PlaneRect& rect) {
  Mosaic(plane, block, rect, [](const PlaneBitsLock& lock, const PlaneRect& cell) {
    uint64_t sum[3] = {};
    for (int32_t y = cell.top; y < cell.bottom; ++y) {
      const uint8_t* p = lock.Row(y) + ptrdiff_t{cell.left} * 4;
      for (int32_t x = cell.left; x < cell.right; ++x, p += 4) {
        for (int c = 0; c < 3; ++c) sum[c] += p[c];
      }
    }
    const uint64_t n = uint64_t(cell.Width() * cell.Height());
    return uint32_t(sum[0] / n) | uint32_t(sum[1] / n) << 8 | uint32_t(sum[2] / n) << 16;
  });
}

void ApplyTable(CPlane32& plane, const uint8_t table[256], const PlaneRect& rect) {
  ForEachPixel(plane, rect, [&](uint8_t* p) {
    for (int c = 0; c < 3; ++c) p[c] = table[p[c]];
    p[3] = 0;
  });
}

void GreyMean(CPlane32& plane, const PlaneRect& rect) {
  ForEachPixel(plane, rect, [](uint8_t* p) {
    p[0] = p[1] = p[2] = uint8_t((p[0] + p[1] + p[2]) / 3);
    p[3] = 0;
  });
}

void GreyLuminance(CPlane32& plane, const PlaneRect& rect) {
  ForEachPixel(plane, rect, [](uint8_t* p) {
    p[0] = p[1] = p[2] = Detail::PixelGrey(p);
    p[3] = 0;
  });
}

}  // namespace Orvex
