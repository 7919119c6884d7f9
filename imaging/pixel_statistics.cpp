#include "imaging/pixel_statistics.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "imaging/pixel_area.h"

namespace Orvex {

namespace {

template <typename Fn>
void ForEachPixel(const CPlane32& plane, const PlaneRect& rect, Fn fn) {
  const PlaneRect area = Intersect(rect, plane.GetBounds());
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(plane);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    const uint8_t* p = lock.Row(y) + ptrdiff_t{area.left} * 4;
    for (int32_t x = area.left; x < area.right; ++x, p += 4) fn(p);
  }
}

}  // namespace

void LuminanceHistogram(const CPlane32& plane, uint32_t counts[256], const PlaneRect& rect) {
  std::fill_n(counts, 256, 0u);
  ForEachPixel(plane, rect, [&](const uint8_t* p) { ++counts[Detail::PixelGrey(p)]; });
}

void MeanHistogram(const CPlane32& plane, uint32_t counts[256], const PlaneRect& rect) {
  std::fill_n(counts, 256, 0u);
  ForEachPixel(plane, rect, [&](const uint8_t* p) { ++counts[(p[0] + p[1] + p[2]) / 3]; });
}

void ChannelHistograms(const CPlane32& plane, uint32_t red[256], uint32_t green[256],
                       uint32_t blue[256], const PlaneRect& rect) {
  std::fill_n(red, 256, 0u);
  std::fill_n(green, 256, 0u);
  std::fill_n(blue, 256, 0u);
  ForEachPixel(plane, rect, [&](const uint8_t* p) {
    ++blue[p[0]];
    ++green[p[1]];
    ++red[p[2]];
  });
}

uint32_t CountColors(const CPlane32& plane, const PlaneRect& rect) {
  // One bit per 24-bit colour: 2 MB, far less than a set of the colours.
  std::vector<uint64_t> seen;
  uint32_t count = 0;
  ForEachPixel(plane, rect, [&](const uint8_t* p) {
    if (seen.empty()) seen.assign((1u << 24) / 64, 0);
    const uint32_t color = Detail::LoadPixel(p) & 0xFFFFFF;
    uint64_t& word = seen[color >> 6];
    const uint64_t bit = uint64_t{1} << (color & 63);
    if (!(word & bit)) {
      word |= bit;
      ++count;
    }
  });
  return count;
}

uint32_t AverageColor(const CPlane32& plane, const PlaneRect& rect) {
  const PlaneRect area = Intersect(rect, plane.GetBounds());
  if (area.IsEmpty()) return 0;
  // 64-bit sums: 32 bits overflow past about 16.8 million pixels of 255.
  uint64_t blue = 0, green = 0, red = 0;
  ForEachPixel(plane, area, [&](const uint8_t* p) {
    blue += p[0];
    green += p[1];
    red += p[2];
  });
  const uint64_t n = uint64_t(area.Width()) * uint64_t(area.Height());
  return uint32_t(red / n) | uint32_t(green / n) << 8 | uint32_t(blue / n) << 16;
}

bool HasAlphaPixels(const CPlane32& plane, const PlaneRect& rect) {
  const PlaneRect area = Intersect(rect, plane.GetBounds());
  if (area.IsEmpty()) return false;
  // At least one pixel: a small plane without any alpha has none.
  const uint64_t needed =
      std::max<uint64_t>(1, uint64_t(area.Width()) * uint64_t(area.Height()) * 5 / 100);
  uint64_t seen = 0;
  PlaneBitsLock lock(plane);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    const uint8_t* p = lock.Row(y) + ptrdiff_t{area.left} * 4;
    for (int32_t x = area.left; x < area.right; ++x, p += 4) {
      if (p[3] != 0 && ++seen >= needed) return true;
    }
  }
  return seen >= needed;
}

}  // namespace Orvex
