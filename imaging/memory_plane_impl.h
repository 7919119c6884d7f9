#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/plane_impl.h"

namespace Orvex {

// Plane storage in heap memory of exactly the plane's size, recycled
// through PlaneBlockCache.
class CMemoryPlaneImpl : public IPlaneImpl {
 public:
  CMemoryPlaneImpl() = default;
  ~CMemoryPlaneImpl() override;

  bool IsValid() const override;
  void Create(const PlaneSize& size, int bits_per_pixel) override;
  void Destroy() override;
  PlaneSize GetSize() const override;
  bool KeepsExactSize() const override { return true; }
  bool IsDib() const override { return false; }
  bool IsReadOnly() const override { return false; }
  PlaneBits LockBits() override;
  void UnlockBits() override {}
  PlaneDeviceContext GetDeviceContext() override { return nullptr; }
  void ReleaseDeviceContext() override {}

 private:
  uint8_t* buffer_ = nullptr;
  ptrdiff_t stride_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace Orvex
