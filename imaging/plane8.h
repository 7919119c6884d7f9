#pragma once

#include <cstdint>
#include <memory>

#include "imaging/plane.h"

namespace Orvex {

// An 8-bit plane of grey values.
class CPlane8 : public CPlane {
 public:
  // Every byte b becomes 255 - b.
  virtual void Invert(const PlaneRect& rect);
  // Zeroes the 256 counts, then counts each byte value in the rectangle.
  virtual void Histogram(uint32_t counts[256], const PlaneRect& rect);

 protected:
  explicit CPlane8(std::shared_ptr<IPlaneImpl> impl) : CPlane(std::move(impl), 8) {}
};

class CMemoryPlane8 : public CPlane8 {
 public:
  CMemoryPlane8();
};

}  // namespace Orvex
