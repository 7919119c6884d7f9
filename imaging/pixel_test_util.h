#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "imaging/plane.h"
#include "imaging/plane32.h"
#include "imaging/plane8.h"

namespace Orvex::Testing {

// Pixels as 32-bit words (B in the low byte), bytes for 8-bit planes.
inline uint32_t At(const CPlane& plane, int32_t x, int32_t y) {
  PlaneBitsLock lock(plane);
  const int bytes = plane.GetBitsPerPixel() / 8;
  uint32_t v = 0;
  std::memcpy(&v, lock.Row(y) + ptrdiff_t{x} * bytes, size_t(bytes));
  return v;
}

inline void Put(CPlane& plane, int32_t x, int32_t y, uint32_t v) {
  PlaneBitsLock lock(plane);
  const int bytes = plane.GetBitsPerPixel() / 8;
  std::memcpy(lock.Row(y) + ptrdiff_t{x} * bytes, &v, size_t(bytes));
}

// Fills a plane row by row from `pixels` (width * height of them).
inline void Load(CPlane& plane, int32_t width, int32_t height, std::vector<uint32_t> pixels) {
  plane.SetSize(PlaneSize{width, height});
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) Put(plane, x, y, pixels[size_t(y * width + x)]);
  }
}

inline std::vector<uint32_t> Dump(const CPlane& plane) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < plane.GetHeight(); ++y) {
    for (int32_t x = 0; x < plane.GetWidth(); ++x) out.push_back(At(plane, x, y));
  }
  return out;
}

inline PlaneRect All(const CPlane& plane) {
  return PlaneRect{0, 0, plane.GetWidth(), plane.GetHeight()};
}

// A plane whose every pixel differs, for checking copies and geometry.
inline void LoadPattern(CPlane32& plane, int32_t width, int32_t height) {
  std::vector<uint32_t> pixels;
  for (int32_t i = 0; i < width * height; ++i)
    pixels.push_back(0x01000000u * (i & 0x7F) + uint32_t(i) * 0x010307);
  Load(plane, width, height, pixels);
}

constexpr PlaneClip kNoClip{};

}  // namespace Orvex::Testing
