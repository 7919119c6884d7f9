#include "imaging/plane8.h"

#include <algorithm>

#include "imaging/memory_plane_impl.h"

namespace Orvex {

void CPlane8::Invert(const PlaneRect& rect) {
  const PlaneRect area = Intersect(rect, GetBounds());
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(*this);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    uint8_t* row = lock.Row(y);
    for (int32_t x = area.left; x < area.right; ++x) row[x] = static_cast<uint8_t>(255 - row[x]);
  }
}

void CPlane8::Histogram(uint32_t counts[256], const PlaneRect& rect) {
  std::fill(counts, counts + 256, 0u);
  const PlaneRect area = Intersect(rect, GetBounds());
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(*this);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    const uint8_t* row = lock.Row(y);
    for (int32_t x = area.left; x < area.right; ++x) ++counts[row[x]];
  }
}

CMemoryPlane8::CMemoryPlane8() : CPlane8(std::make_shared<CMemoryPlaneImpl>()) {}

}  // namespace Orvex
