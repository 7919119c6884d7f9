#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/plane_geometry.h"
#include "imaging/plane_impl.h"

namespace Orvex {

// A rectangular pixel buffer of 8 (grey), 16 (RGB555), 24 (B, G, R) or 32
// (B, G, R, A) bits per pixel, rows top-down, in a storage chosen by the
// concrete class. A new plane has the size -1 x -1 and no storage until
// SetSize. Colour arguments hold red in the low byte, then green and blue.
class CPlane {
 public:
  CPlane(const CPlane&) = delete;
  CPlane& operator=(const CPlane&) = delete;
  virtual ~CPlane();

  virtual void Fill(uint32_t color, const PlaneRect& rect);
  virtual void FillAll(uint32_t color);
  // Draws the `source_rect` part of `source` with its top-left corner at
  // (dx, dy), converting the depth. Both rectangles are cut to the planes
  // and to the clip, if enabled.
  virtual void Copy(const CPlane& source, int32_t dx, int32_t dy, const PlaneRect& source_rect,
                    const PlaneClip& clip);
  virtual void CopyAll(const CPlane& source, const PlaneClip& clip);
  // Draws part of a device-independent bitmap: `header` is a
  // BITMAPINFOHEADER followed by its colour table or masks, all inside the
  // `header_bytes` bytes there; `bits` holds `bits_bytes` bytes of pixel
  // data. `source_rect` is in top-down image coordinates. Pixels that
  // run-length data skips keep their values. A bitmap that cannot be drawn
  // safely raises RuntimeException; a failure of the system's drawing
  // raises Win32Exception.
  virtual void DrawDib(const void* header, size_t header_bytes, const void* bits, size_t bits_bytes,
                       int32_t dx, int32_t dy, const PlaneRect& source_rect, const PlaneClip& clip);

  // Sets the logical size. Heap storage is re-created at the new size; DIB
  // storage is re-created only to grow.
  void SetSize(const PlaneSize& size);

  int32_t GetWidth() const { return width_; }
  int32_t GetHeight() const { return height_; }
  PlaneSize GetSize() const { return PlaneSize{width_, height_}; }
  int GetBitsPerPixel() const { return bits_per_pixel_; }
  // The part of the plane that holds pixels: (0, 0, width, height), or
  // empty while there is no storage.
  PlaneRect GetBounds() const;

  // Prefer PlaneBitsLock, which also unlocks on exceptions.
  PlaneBits LockBits() const { return impl_->LockBits(); }
  void UnlockBits() const { impl_->UnlockBits(); }
  PlaneDeviceContext GetDeviceContext() { return impl_->GetDeviceContext(); }
  void ReleaseDeviceContext() { impl_->ReleaseDeviceContext(); }
  const std::shared_ptr<IPlaneImpl>& GetImpl() const { return impl_; }

 protected:
  CPlane(std::shared_ptr<IPlaneImpl> impl, int bits_per_pixel);

 private:
  const std::shared_ptr<IPlaneImpl> impl_;
  const int bits_per_pixel_;
  int32_t width_ = -1;
  int32_t height_ = -1;
};

// Holds a plane's bits locked for its lifetime.
class PlaneBitsLock {
 public:
  explicit PlaneBitsLock(const CPlane& plane) : plane_(plane), bits_(plane.LockBits()) {}
  PlaneBitsLock(const PlaneBitsLock&) = delete;
  PlaneBitsLock& operator=(const PlaneBitsLock&) = delete;
  ~PlaneBitsLock() { plane_.UnlockBits(); }

  const PlaneBits& Bits() const { return bits_; }
  uint8_t* Row(int32_t y) const { return bits_.Row(y); }
  ptrdiff_t Step() const { return bits_.step; }

 private:
  const CPlane& plane_;
  PlaneBits bits_;
};

// A heap plane of the depth given at construction (8, 16, 24 or 32).
class CMemoryPlane : public CPlane {
 public:
  explicit CMemoryPlane(int bits_per_pixel);
};

namespace Detail {

// Where a copy of `source_rect` to (dx, dy) lands once cut to both planes'
// bounds and the clip: equal-sized rectangles, or empty ones.
struct CopyArea {
  PlaneRect dest;
  PlaneRect source;
};
CopyArea ClipCopyArea(int32_t dx, int32_t dy, const PlaneRect& source_rect,
                      const PlaneRect& source_bounds, const PlaneRect& dest_bounds,
                      const PlaneClip& clip);

}  // namespace Detail

}  // namespace Orvex
