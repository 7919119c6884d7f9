#pragma once

#include <cstdint>
#include <memory>

#include "imaging/bitmap_info.h"
#include "imaging/plane_impl.h"

namespace Orvex {

// Plane storage in a top-down device-independent bitmap whose width is
// rounded up to a multiple of 4 pixels. On Windows it is a DIB section
// selected into a memory device context, so the system can draw into it;
// elsewhere the same rows live in heap memory and there is no device
// context. The storage never shrinks (see KeepsExactSize).
class CDibImpl : public IPlaneImpl {
 public:
  CDibImpl();
  ~CDibImpl() override;

  bool IsValid() const override;
  void Create(const PlaneSize& size, int bits_per_pixel) override;
  void Destroy() override;
  PlaneSize GetSize() const override;
  bool KeepsExactSize() const override { return false; }
  bool IsDib() const override { return true; }
  bool IsReadOnly() const override { return false; }
  PlaneBits LockBits() override;
  void UnlockBits() override {}
  PlaneDeviceContext GetDeviceContext() override;
  void ReleaseDeviceContext() override {}

  // The header the bitmap was created from; null when not valid.
  const BitmapInfoHeader* GetHeader() const { return header_.get(); }

 private:
  struct Surface;  // the system objects behind the bits, per platform

  void AllocateHeader();
  void FreeHeader();
  void FillHeader(const PlaneSize& size, int bits_per_pixel);

  // Creates the bitmap from header_ and sets bits_; throws on failure.
  void CreateSurface();
  void DestroySurface();
  bool SurfaceExists() const;
  // Makes pending system drawing visible in the bits.
  void FlushSurface();

  std::unique_ptr<Surface> surface_;
  std::unique_ptr<BitmapInfoHeader> header_;
  uint8_t* bits_ = nullptr;
  int32_t logical_width_ = 0;
};

}  // namespace Orvex
