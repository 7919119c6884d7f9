#pragma once

#include <cstdint>
#include <memory>

#include "imaging/plane.h"

namespace Orvex {

// The base of planes with a fixed depth above 8 bits.
class CPlaneEx : public CPlane {
 protected:
  using CPlane::CPlane;
};

// A 32-bit plane: one little-endian word per pixel, blue in the low byte,
// then green, red and alpha (bytes B, G, R, A in memory).
class CPlane32 : public CPlaneEx {
 public:
  // Each pixel's colour is inverted; alpha is kept.
  virtual void Invert(const PlaneRect& rect);

 protected:
  explicit CPlane32(std::shared_ptr<IPlaneImpl> impl) : CPlaneEx(std::move(impl), 32) {}
};

// A 32-bit plane in a device-independent bitmap: the system can draw into
// it (GetDeviceContext on Windows), and it only grows when resized.
class CDib32 : public CPlane32 {
 public:
  CDib32();
};

// A 32-bit plane in heap memory of exactly its size.
class CMemoryPlane32 : public CPlane32 {
 public:
  CMemoryPlane32();
};

}  // namespace Orvex
