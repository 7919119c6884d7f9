#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "imaging/pixel_format.h"
#include "imaging/plane.h"
#include "imaging/plane32.h"

namespace Orvex::Detail {

inline uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void StorePixel(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Colour arguments keep red in the low byte, pixels keep blue there: the
// swap goes both ways. The top byte is dropped.
inline uint32_t ColorToPixel(uint32_t color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}
inline uint32_t PixelToColor(uint32_t pixel) { return ColorToPixel(pixel); }

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline uint8_t PixelGrey(const uint8_t* p) { return Grey(p[2], p[1], p[0]); }

// The clipped area of a two-plane operation and the locked bits of its
// sources. The first source decides the area as Copy does; further sources
// (a second image, a mask) are read at the same positions and cut it to
// their bounds. A source that is the destination plane is read from a
// snapshot, so that results never feed back into the pixels still to read.
class SourceArea {
 public:
  SourceArea(const CPlane& dest, std::initializer_list<const CPlane*> sources, int32_t dx,
             int32_t dy, const PlaneRect& source_rect, const PlaneClip& clip);
  SourceArea(const SourceArea&) = delete;
  SourceArea& operator=(const SourceArea&) = delete;
  ~SourceArea();

  bool IsEmpty() const { return dest_.IsEmpty(); }
  const PlaneRect& Dest() const { return dest_; }
  const PlaneRect& Source() const { return source_; }
  int32_t Width() const { return int32_t(dest_.Width()); }
  int32_t Height() const { return int32_t(dest_.Height()); }
  // Row `y` of the area (0 = its top row) in source `index`, at the area's
  // first pixel.
  const uint8_t* Row(size_t index, int32_t y) const;

 private:
  PlaneRect dest_{};
  PlaneRect source_{};
  std::vector<std::unique_ptr<CMemoryPlane>> snapshots_;
  std::vector<std::unique_ptr<PlaneBitsLock>> locks_;
  std::vector<int> bytes_;
  std::vector<PlaneRect> origins_;
};

// Runs fn(dest_row, source_row, count) over every row of a clipped copy
// from `source` to (dx, dy), with the destination's bits locked.
template <typename Fn>
void ForEachCopyRow(CPlane& dest, const CPlane& source, int32_t dx, int32_t dy,
                    const PlaneRect& source_rect, const PlaneClip& clip, Fn fn) {
  const SourceArea area(dest, {&source}, dx, dy, source_rect, clip);
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(dest);
  for (int32_t y = 0; y < area.Height(); ++y) {
    fn(lock.Row(area.Dest().top + y) + ptrdiff_t{area.Dest().left} * (dest.GetBitsPerPixel() / 8),
       area.Row(0, y), area.Width());
  }
}

// The same with two sources read at the same positions.
template <typename Fn>
void ForEachCopyRow2(CPlane& dest, const CPlane& a, const CPlane& b, int32_t dx, int32_t dy,
                     const PlaneRect& source_rect, const PlaneClip& clip, Fn fn) {
  const SourceArea area(dest, {&a, &b}, dx, dy, source_rect, clip);
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(dest);
  for (int32_t y = 0; y < area.Height(); ++y) {
    fn(lock.Row(area.Dest().top + y) + ptrdiff_t{area.Dest().left} * (dest.GetBitsPerPixel() / 8),
       area.Row(0, y), area.Row(1, y), area.Width());
  }
}

// Runs fn(row, count) over the rows of `rect` cut to the plane.
template <typename Fn>
void ForEachRow(CPlane32& plane, const PlaneRect& rect, Fn fn) {
  const PlaneRect area = Intersect(rect, plane.GetBounds());
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(plane);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    fn(lock.Row(y) + ptrdiff_t{area.left} * 4, int32_t(area.Width()));
  }
}

// Clips a scaled drawing of `source` onto `dest`: the destination is cut
// to its plane and the clip, the source shrunk in proportion (rounded to
// the nearest pixel), then the source is cut to its plane and the
// destination shrunk likewise. False when nothing is left to draw.
bool ClipScaledArea(PlaneRect& dest, PlaneRect& source, const PlaneRect& dest_bounds,
                    const PlaneRect& source_bounds, const PlaneClip& clip);

}  // namespace Orvex::Detail
