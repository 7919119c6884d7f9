#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/plane_geometry.h"

namespace Orvex {

// The pixels of a locked plane: the first pixel of the top row, and the
// signed distance in bytes from one row to the next (a multiple of 4).
struct PlaneBits {
  uint8_t* bits;
  ptrdiff_t step;

  uint8_t* Row(int32_t y) const { return bits + step * y; }
};

// An OS drawing surface (an HDC on Windows); null where the storage has
// none. Kept opaque so that portable code never sees system headers.
using PlaneDeviceContext = void*;

// Where a plane keeps its pixels. The plane decides the logical size; the
// storage may be larger (DIB storage only grows) and supplies the row step.
class IPlaneImpl {
 public:
  IPlaneImpl() = default;
  IPlaneImpl(const IPlaneImpl&) = delete;
  IPlaneImpl& operator=(const IPlaneImpl&) = delete;
  virtual ~IPlaneImpl() = default;

  virtual bool IsValid() const = 0;
  virtual void Create(const PlaneSize& size, int bits_per_pixel) = 0;
  virtual void Destroy() = 0;
  virtual PlaneSize GetSize() const = 0;
  // True when the storage is re-created for every new size; false when it
  // may stay larger than the plane to avoid re-creating it.
  virtual bool KeepsExactSize() const = 0;
  // True for device-independent-bitmap storage.
  virtual bool IsDib() const = 0;
  // True for storage whose pixels must not be written; none of ours is.
  virtual bool IsReadOnly() const = 0;
  virtual PlaneBits LockBits() = 0;
  virtual void UnlockBits() = 0;
  virtual PlaneDeviceContext GetDeviceContext() = 0;
  virtual void ReleaseDeviceContext() = 0;
};

}  // namespace Orvex
