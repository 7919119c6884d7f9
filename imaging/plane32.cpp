#include "imaging/plane32.h"

#include <cstring>

#include "imaging/dib_impl.h"
#include "imaging/memory_plane_impl.h"

namespace Orvex {

void CPlane32::Invert(const PlaneRect& rect) {
  const PlaneRect area = Intersect(rect, GetBounds());
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(*this);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    uint8_t* p = lock.Row(y) + ptrdiff_t{area.left} * 4;
    for (int32_t x = area.left; x < area.right; ++x, p += 4) {
      uint32_t pixel;
      std::memcpy(&pixel, p, 4);
      pixel ^= 0x00FFFFFF;
      std::memcpy(p, &pixel, 4);
    }
  }
}

CDib32::CDib32() : CPlane32(std::make_shared<CDibImpl>()) {}

CMemoryPlane32::CMemoryPlane32() : CPlane32(std::make_shared<CMemoryPlaneImpl>()) {}

}  // namespace Orvex
