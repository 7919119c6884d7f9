#include "imaging/pixel_geometry.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "imaging/pixel_area.h"

namespace Orvex {

namespace {

// Source pixel for destination (x, y) of a w x h result.
using Map = void (*)(int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy);

// Reads `source` through a snapshot when it is `dest`, so that the turned
// pixels never overwrite ones still to be read.
class Snapshot {
 public:
  Snapshot(const CPlane32& dest, const CPlane32& source, PlaneRect& rect) : plane_(&source) {
    if (&source != &dest) return;
    copy_ = std::make_unique<CMemoryPlane32>();
    copy_->SetSize(PlaneSize{int32_t(rect.Width()), int32_t(rect.Height())});
    copy_->Copy(source, 0, 0, rect, PlaneClip{});
    rect = PlaneRect{0, 0, int32_t(rect.Width()), int32_t(rect.Height())};
    plane_ = copy_.get();
  }
  const CPlane32& Plane() const { return *plane_; }

 private:
  std::unique_ptr<CMemoryPlane32> copy_;
  const CPlane32* plane_;
};

PlaneRect PlacedArea(const CPlane32& dest, int32_t dx, int32_t dy, int64_t w, int64_t h,
                     const PlaneClip& clip) {
  const PlaneRect placed{dx, dy, int32_t(std::min<int64_t>(dx + w, INT32_MAX)),
                         int32_t(std::min<int64_t>(dy + h, INT32_MAX))};
  PlaneRect area = Intersect(placed, dest.GetBounds());
  if (clip.enabled) area = Intersect(area, clip.rect);
  return area;
}

void MappedCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, bool swap, const PlaneClip& clip, Map map) {
  PlaneRect rect = Intersect(source_rect, source.GetBounds());
  if (rect.IsEmpty()) return;
  const int32_t w = int32_t(swap ? rect.Height() : rect.Width());
  const int32_t h = int32_t(swap ? rect.Width() : rect.Height());
  const PlaneRect area = PlacedArea(dest, dx, dy, w, h, clip);
  if (area.IsEmpty()) return;
  const Snapshot snapshot(dest, source, rect);
  PlaneBitsLock source_lock(snapshot.Plane());
  PlaneBitsLock lock(dest);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    uint8_t* out = lock.Row(y) + ptrdiff_t{area.left} * 4;
    for (int32_t x = area.left; x < area.right; ++x, out += 4) {
      int32_t sx, sy;
      map(x - dx, y - dy, w, h, sx, sy);
      std::memcpy(out, source_lock.Row(rect.top + sy) + ptrdiff_t{rect.left + sx} * 4, 4);
    }
  }
}

// One turned pixel: the destination pixel centre mapped back into the
// source in 16.16 fixed point.
void GeneralRotate(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, double degrees, uint32_t background,
                   const PlaneClip& clip, bool bilinear) {
  PlaneRect rect = Intersect(source_rect, source.GetBounds());
  if (rect.IsEmpty()) return;
  const double radians = degrees * 0.017453292519943295;
  const int64_t sin_f = std::llround(std::sin(radians) * 65536);
  const int64_t cos_f = std::llround(std::cos(radians) * 65536);
  const int64_t w = rect.Width();
  const int64_t h = rect.Height();
  const double ac = std::fabs(double(cos_f) / 65536);
  const double as = std::fabs(double(sin_f) / 65536);
  const int64_t out_w = std::max<int64_t>(1, std::llround(w * ac + h * as));
  const int64_t out_h = std::max<int64_t>(1, std::llround(w * as + h * ac));
  const PlaneRect area = PlacedArea(dest, dx, dy, out_w, out_h, clip);
  if (area.IsEmpty()) return;
  const Snapshot snapshot(dest, source, rect);
  PlaneBitsLock source_lock(snapshot.Plane());
  PlaneBitsLock lock(dest);
  const uint32_t back = Detail::ColorToPixel(background);
  auto pixel = [&](int64_t x, int64_t y) -> const uint8_t* {
    if (x < 0 || y < 0 || x >= w || y >= h) return reinterpret_cast<const uint8_t*>(&back);
    return source_lock.Row(rect.top + int32_t(y)) + ptrdiff_t(rect.left + x) * 4;
  };
  for (int32_t y = area.top; y < area.bottom; ++y) {
    uint8_t* out = lock.Row(y) + ptrdiff_t{area.left} * 4;
    // Offsets from the centres in half pixels.
    const int64_t oy = 2 * (int64_t{y} - dy) + 1 - out_h;
    for (int32_t x = area.left; x < area.right; ++x, out += 4) {
      const int64_t ox = 2 * (int64_t{x} - dx) + 1 - out_w;
      // Source position relative to pixel centres, 16.16.
      const int64_t sx = (cos_f * ox + sin_f * oy) / 2 + (w << 15) - 32768;
      const int64_t sy = (cos_f * oy - sin_f * ox) / 2 + (h << 15) - 32768;
      if (!bilinear) {
        std::memcpy(out, pixel((sx + 32768) >> 16, (sy + 32768) >> 16), 4);
        out[3] = 0;
        continue;
      }
      const int64_t x0 = sx >> 16, y0 = sy >> 16;
      const int32_t fx = int32_t((sx >> 8) & 0xFF), fy = int32_t((sy >> 8) & 0xFF);
      const uint8_t* p00 = pixel(x0, y0);
      const uint8_t* p01 = pixel(x0 + 1, y0);
      const uint8_t* p10 = pixel(x0, y0 + 1);
      const uint8_t* p11 = pixel(x0 + 1, y0 + 1);
      for (int c = 0; c < 3; ++c) {
        const int32_t top = p00[c] * (256 - fx) + p01[c] * fx;
        const int32_t bottom = p10[c] * (256 - fx) + p11[c] * fx;
        out[c] = uint8_t((top * (256 - fy) + bottom * fy + 32768) >> 16);
      }
      out[3] = 0;
    }
  }
}

void Rotate(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
            const PlaneRect& source_rect, double degrees, uint32_t background,
            const PlaneClip& clip, bool bilinear) {
  switch (Detail::ChooseRotatePath(degrees)) {
    case Detail::RotatePath::kNone:
      return;
    case Detail::RotatePath::kCopy:
      return dest.Copy(source, dx, dy, source_rect, clip);
    case Detail::RotatePath::k90:
      return Rotate90Copy(dest, source, dx, dy, source_rect, clip);
    case Detail::RotatePath::k180:
      return Rotate180Copy(dest, source, dx, dy, source_rect, clip);
    case Detail::RotatePath::k270:
      return Rotate270Copy(dest, source, dx, dy, source_rect, clip);
    case Detail::RotatePath::kGeneral:
      return GeneralRotate(dest, source, dx, dy, source_rect, degrees, background, clip, bilinear);
  }
}

}  // namespace

namespace Detail {

RotatePath ChooseRotatePath(double& degrees) {
  if (!std::isfinite(degrees)) return RotatePath::kNone;
  // fmod is exact, unlike subtracting 360 over and over (which would also
  // never end for a huge angle). Negative angles turn the other way.
  degrees = std::fmod(degrees, 360.0);
  if (degrees < 0) degrees += 360.0;
  if (degrees >= 360.0) degrees = 0;
  constexpr double kNear = 0.0001;
  if (std::fabs(degrees) <= kNear) return RotatePath::kCopy;
  if (std::fabs(degrees - 90) <= kNear) return RotatePath::k90;
  if (std::fabs(degrees - 180) <= kNear) return RotatePath::k180;
  if (std::fabs(degrees - 270) <= kNear) return RotatePath::k270;
  return RotatePath::kGeneral;
}

}  // namespace Detail

void MirrorCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, const PlaneClip& clip) {
  MappedCopy(dest, source, dx, dy, source_rect, false, clip,
             [](int32_t x, int32_t y, int32_t w, int32_t, int32_t& sx, int32_t& sy) {
               sx = w - 1 - x;
               sy = y;
             });
}

void FlipCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip) {
  MappedCopy(dest, source, dx, dy, source_rect, false, clip,
             [](int32_t x, int32_t y, int32_t, int32_t h, int32_t& sx, int32_t& sy) {
               sx = x;
               sy = h - 1 - y;
             });
}

void Rotate180Copy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip) {
  MappedCopy(dest, source, dx, dy, source_rect, false, clip,
             [](int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy) {
               sx = w - 1 - x;
               sy = h - 1 - y;
             });
}

void Rotate90Copy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, const PlaneClip& clip) {
  // Source row r lands in column w - 1 - r; source column i is row i.
  MappedCopy(dest, source, dx, dy, source_rect, true, clip,
             [](int32_t x, int32_t y, int32_t w, int32_t, int32_t& sx, int32_t& sy) {
               sx = y;
               sy = w - 1 - x;
             });
}

void Rotate270Copy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip) {
  // Source row r becomes column r; source column i lands in row h - 1 - i.
  MappedCopy(dest, source, dx, dy, source_rect, true, clip,
             [](int32_t x, int32_t y, int32_t, int32_t h, int32_t& sx, int32_t& sy) {
               sx = h - 1 - y;
               sy = x;
             });
}

void RotateCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, double degrees, uint32_t background,
                const PlaneClip& clip) {
  Rotate(dest, source, dx, dy, source_rect, degrees, background, clip, true);
}

void RotateCopyNearest(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                       const PlaneRect& source_rect, double degrees, uint32_t background,
                       const PlaneClip& clip) {
  Rotate(dest, source, dx, dy, source_rect, degrees, background, clip, false);
}

}  // namespace Orvex
