#include "imaging/plane.h"

#include <algorithm>
#include <cstring>

#include "foundation/exceptions.h"
#include "imaging/dib_decoder.h"
#include "imaging/dib_source.h"
#include "imaging/dib_system_draw.h"
#include "imaging/memory_plane_impl.h"
#include "imaging/pixel_format.h"

namespace Orvex {

namespace Detail {

CopyArea ClipCopyArea(int32_t dx, int32_t dy, const PlaneRect& source_rect,
                      const PlaneRect& source_bounds, const PlaneRect& dest_bounds,
                      const PlaneClip& clip) {
  constexpr CopyArea kNothing{};
  if (source_rect.IsEmpty()) return kNothing;
  // 64-bit: a source rectangle may be "everything" (0x3FFFFFFF wide) and
  // the destination offset large.
  struct Rect64 {
    int64_t left, top, right, bottom;
  };
  auto intersect = [](const Rect64& a, const PlaneRect& b) {
    return Rect64{std::max<int64_t>(a.left, b.left), std::max<int64_t>(a.top, b.top),
                  std::min<int64_t>(a.right, b.right), std::min<int64_t>(a.bottom, b.bottom)};
  };
  const Rect64 placed{dx, dy, int64_t{dx} + source_rect.Width(),
                      int64_t{dy} + source_rect.Height()};
  Rect64 dest = intersect(placed, dest_bounds);
  if (clip.enabled) dest = intersect(dest, clip.rect);
  if (dest.left >= dest.right || dest.top >= dest.bottom) return kNothing;

  // Move the source edges as far as the destination edges moved, then cut
  // the source to its plane and shift the destination by what that cut.
  const Rect64 moved{source_rect.left + (dest.left - placed.left),
                     source_rect.top + (dest.top - placed.top),
                     source_rect.right + (dest.right - placed.right),
                     source_rect.bottom + (dest.bottom - placed.bottom)};
  const Rect64 source = intersect(moved, source_bounds);
  if (source.left >= source.right || source.top >= source.bottom) return kNothing;
  const int64_t left = dest.left + (source.left - moved.left);
  const int64_t top = dest.top + (source.top - moved.top);
  return CopyArea{
      PlaneRect{int32_t(left), int32_t(top), int32_t(left + (source.right - source.left)),
                int32_t(top + (source.bottom - source.top))},
      PlaneRect{int32_t(source.left), int32_t(source.top), int32_t(source.right),
                int32_t(source.bottom)}};
}

}  // namespace Detail

CPlane::CPlane(std::shared_ptr<IPlaneImpl> impl, int bits_per_pixel)
    : impl_(std::move(impl)), bits_per_pixel_(bits_per_pixel) {}

CPlane::~CPlane() = default;

PlaneRect CPlane::GetBounds() const {
  if (!impl_->IsValid() || width_ <= 0 || height_ <= 0) return PlaneRect{};
  // The logical size never exceeds the storage; the cut is a safeguard.
  const PlaneSize stored = impl_->GetSize();
  return PlaneRect{0, 0, std::min(width_, stored.width), std::min(height_, stored.height)};
}

void CPlane::SetSize(const PlaneSize& size) {
  try {
    if (impl_->IsValid() && !impl_->KeepsExactSize()) {
      const PlaneSize current = impl_->GetSize();
      if (current.width < size.width) {
        impl_->Create(PlaneSize{size.width, std::max(current.height, size.height)},
                      bits_per_pixel_);
      } else if (current.height < size.height) {
        impl_->Create(PlaneSize{current.width, size.height}, bits_per_pixel_);
      }
    } else if (size.width > 0 && size.height > 0) {
      impl_->Create(size, bits_per_pixel_);
    }
  } catch (...) {
    // The old storage is gone; the plane is as new, not pretending to a size.
    width_ = height_ = -1;
    throw;
  }
  width_ = size.width;
  height_ = size.height;
}

void CPlane::Fill(uint32_t color, const PlaneRect& rect) {
  const PlaneRect area = Intersect(rect, GetBounds());
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(*this);
  const int bytes = bits_per_pixel_ / 8;
  for (int32_t y = area.top; y < area.bottom; ++y) {
    Detail::FillRow(lock.Row(y) + ptrdiff_t{area.left} * bytes, bits_per_pixel_, color,
                    int32_t(area.Width()));
  }
}

void CPlane::FillAll(uint32_t color) { Fill(color, PlaneRect{0, 0, width_, height_}); }

void CPlane::Copy(const CPlane& source, int32_t dx, int32_t dy, const PlaneRect& source_rect,
                  const PlaneClip& clip) {
  const Detail::CopyArea area =
      Detail::ClipCopyArea(dx, dy, source_rect, source.GetBounds(), GetBounds(), clip);
  if (area.dest.IsEmpty()) return;
  PlaneBitsLock dest_lock(*this);
  PlaneBitsLock source_lock(source);
  const int dest_bytes = bits_per_pixel_ / 8;
  const int source_bytes = source.bits_per_pixel_ / 8;
  const int32_t rows = int32_t(area.dest.Height());
  // Within one plane, rows moving down are copied bottom row first so that
  // none is overwritten before it is read.
  const bool upward = &source == this && area.dest.top > area.source.top;
  for (int32_t i = 0; i < rows; ++i) {
    const int32_t row = upward ? rows - 1 - i : i;
    Detail::ConvertRow(
        dest_lock.Row(area.dest.top + row) + ptrdiff_t{area.dest.left} * dest_bytes,
        bits_per_pixel_,
        source_lock.Row(area.source.top + row) + ptrdiff_t{area.source.left} * source_bytes,
        source.bits_per_pixel_, int32_t(area.dest.Width()));
  }
}

void CPlane::CopyAll(const CPlane& source, const PlaneClip& clip) {
  if (&source == this) return;
  Copy(source, 0, 0, PlaneRect{0, 0, source.width_, source.height_}, clip);
}

void CPlane::DrawDib(const void* header, size_t header_bytes, const void* bits, size_t bits_bytes,
                     int32_t dx, int32_t dy, const PlaneRect& source_rect, const PlaneClip& clip) {
  const Detail::DibSource dib = Detail::ReadDibSource(header, header_bytes, bits, bits_bytes);
  const Detail::CopyArea area = Detail::ClipCopyArea(
      dx, dy, source_rect, PlaneRect{0, 0, dib.width, dib.height}, GetBounds(), clip);
  if (area.dest.IsEmpty()) return;

  // Uncompressed bottom-up 8-, 24- and 32-bit bitmaps are converted here
  // directly; the system draws the others where it can.
  const bool direct = bits_per_pixel_ == 32 && dib.bottom_up && dib.compression == 0 &&
                      (dib.bit_count == 8 || dib.bit_count == 24 || dib.bit_count == 32);
  if (!direct) {
    const PlaneDeviceContext dc = impl_->GetDeviceContext();
    if (dc) {
      struct Release {
        IPlaneImpl& impl;
        ~Release() { impl.ReleaseDeviceContext(); }
      } release{*impl_};
      if (Detail::DrawDibThroughSystem(dc, dib, area.dest, area.dest.left - area.source.left,
                                       area.dest.top - area.source.top)) {
        return;
      }
    }
  }

  if (bits_per_pixel_ == 32) {
    PlaneBitsLock lock(*this);
    Detail::DecodeDib(dib, area.source, lock.Row(area.dest.top) + ptrdiff_t{area.dest.left} * 4,
                      lock.Step());
    return;
  }
  // Other depths are decoded through a 32-bit copy of the target area, so
  // that pixels the bitmap leaves out keep their values.
  const PlaneSize size{int32_t(area.dest.Width()), int32_t(area.dest.Height())};
  CMemoryPlane work(32);
  work.SetSize(size);
  work.Copy(*this, 0, 0, area.dest, PlaneClip{});
  {
    PlaneBitsLock lock(work);
    Detail::DecodeDib(dib, area.source, lock.Row(0), lock.Step());
  }
  Copy(work, area.dest.left, area.dest.top, PlaneRect{0, 0, size.width, size.height}, PlaneClip{});
}

CMemoryPlane::CMemoryPlane(int bits_per_pixel)
    : CPlane(std::make_shared<CMemoryPlaneImpl>(), bits_per_pixel) {
  if (!Detail::IsPlaneDepth(bits_per_pixel)) {
    throw RuntimeException(u"画像保持メモリの作成に失敗しました");
  }
}

}  // namespace Orvex
