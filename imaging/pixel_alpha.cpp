#include "imaging/pixel_alpha.h"

#include "imaging/pixel_area.h"

namespace Orvex {

namespace {

template <typename Fn>
void ForEachPixel(CPlane32& plane, Fn fn) {
  Detail::ForEachRow(plane, plane.GetBounds(), [&](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i, p += 4) fn(p);
  });
}

}  // namespace

void ClearAlpha(CPlane32& plane) {
  ForEachPixel(plane, [](uint8_t* p) { p[3] = 0; });
}

void InvertAlpha(CPlane32& plane) {
  ForEachPixel(plane, [](uint8_t* p) { p[3] ^= 0xFF; });
}

void AlphaFromLuminance(CPlane32& plane) {
  ForEachPixel(plane, [](uint8_t* p) { p[3] = Detail::PixelGrey(p); });
}

void AlphaFromPlane8(CPlane32& plane, const CPlane8& source) {
  const PlaneRect all = plane.GetBounds();
  Detail::ForEachCopyRow(plane, source, 0, 0, all, PlaneClip{},
                         [](uint8_t* d, const uint8_t* s, int32_t n) {
                           for (int32_t i = 0; i < n; ++i) d[ptrdiff_t{i} * 4 + 3] = s[i];
                         });
}

void AlphaFromPlaneLuminance(CPlane32& plane, const CPlane32& source) {
  const PlaneRect all = plane.GetBounds();
  Detail::ForEachCopyRow(plane, source, 0, 0, all, PlaneClip{},
                         [](uint8_t* d, const uint8_t* s, int32_t n) {
                           for (int32_t i = 0; i < n; ++i, d += 4, s += 4) {
                             d[3] = Detail::PixelGrey(s);
                           }
                         });
}

void AlphaComposite(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                    const PlaneRect& source_rect, const PlaneClip& clip) {
  Detail::ForEachCopyRow(dest, source, dx, dy, source_rect, clip,
                         [](uint8_t* d, const uint8_t* s, int32_t n) {
                           for (int32_t i = 0; i < n; ++i, d += 4, s += 4) {
                             const int32_t a = s[3];
                             if (a == 0) continue;
                             if (a == 255) {
                               std::memcpy(d, s, 4);
                               continue;
                             }
                             for (int c = 0; c < 3; ++c)
                               d[c] = uint8_t(d[c] + ((a * (s[c] - d[c])) >> 8));
                             d[3] = 0;
                           }
                         });
}

}  // namespace Orvex
