#include "imaging/pixel_combine.h"

#include <algorithm>
#include <cmath>

#include "imaging/pixel_area.h"

namespace Orvex {

namespace {

using Detail::Clamp255;
using Detail::ForEachCopyRow;
using Detail::ForEachCopyRow2;
using Detail::LoadPixel;
using Detail::StorePixel;

// A pixel function applied over a clipped copy: fn(d, s) per pixel.
template <typename Fn>
void PerPixel(CPlane32& dest, const CPlane& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip, Fn fn) {
  ForEachCopyRow(dest, source, dx, dy, source_rect, clip,
                 [&](uint8_t* d, const uint8_t* s, int32_t n) {
                   for (int32_t i = 0; i < n; ++i, d += 4, s += 4) fn(d, s);
                 });
}

int64_t Fixed(double v) {
  if (!std::isfinite(v)) return 0;
  return std::llround(std::clamp(v, -32768.0, 32767.0) * 65536);
}

// The ramp of the masked transitions, 0 (first image) to 256 (target).
void MaskWeights(int32_t threshold, int32_t softness, int32_t w[256]) {
  for (int32_t v = 0; v < 256; ++v) {
    if (v < threshold) {
      w[v] = 0;
    } else if (int64_t{v} < int64_t{threshold} + softness) {
      w[v] = int32_t((int64_t{v} - threshold + 1) * 256 / (int64_t{softness} + 1));
    } else {
      w[v] = 256;
    }
  }
}

template <typename Fn>
void Masked(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx, int32_t dy,
            const PlaneRect& source_rect, const PlaneClip& clip, Fn fn) {
  ForEachCopyRow2(dest, source, mask, dx, dy, source_rect, clip,
                  [&](uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) {
                    for (int32_t i = 0; i < n; ++i, d += 4, s += 4) fn(d, s, m[i]);
                  });
}

}  // namespace

void PaletteCopy(CPlane32& dest, const CPlane8& source, int32_t dx, int32_t dy,
                 const PlaneRect& source_rect, const uint32_t colors[256], const PlaneClip& clip) {
  uint32_t pixels[256];
  for (int i = 0; i < 256; ++i) pixels[i] = Detail::ColorToPixel(colors[i]);
  ForEachCopyRow(dest, source, dx, dy, source_rect, clip,
                 [&](uint8_t* d, const uint8_t* s, int32_t n) {
                   for (int32_t i = 0; i < n; ++i, d += 4) StorePixel(d, pixels[s[i]]);
                 });
}

void CopyExceptKey(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, uint32_t key, const PlaneClip& clip) {
  PerPixel(dest, source, dx, dy, source_rect, clip, [&](uint8_t* d, const uint8_t* s) {
    if (LoadPixel(s) != key) std::memcpy(d, s, 4);
  });
}

void GreyWeighted(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, double red, double green, double blue,
                  const PlaneClip& clip) {
  const int64_t wr = Fixed(red), wg = Fixed(green), wb = Fixed(blue);
  PerPixel(dest, source, dx, dy, source_rect, clip, [&](uint8_t* d, const uint8_t* s) {
    const int64_t grey = (wr * s[2] + wg * s[1] + wb * s[0]) >> 16;
    const uint8_t v = uint8_t(std::clamp<int64_t>(grey, 0, 255));
    d[0] = d[1] = d[2] = v;
    d[3] = s[3];
  });
}

void ColorMatrix(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                 const PlaneRect& source_rect, const double matrix[9], const PlaneClip& clip) {
  int64_t m[9];
  for (int i = 0; i < 9; ++i) m[i] = Fixed(matrix[i]);
  PerPixel(dest, source, dx, dy, source_rect, clip, [&](uint8_t* d, const uint8_t* s) {
    const int64_t r = s[2], g = s[1], b = s[0];
    const uint8_t alpha = s[3];
    for (int row = 0; row < 3; ++row) {
      const int64_t v = (m[row * 3] * r + m[row * 3 + 1] * g + m[row * 3 + 2] * b + 32768) >> 16;
      d[2 - row] = uint8_t(std::clamp<int64_t>(v, 0, 255));
    }
    d[3] = alpha;
  });
}

void OrPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
             const PlaneRect& source_rect, const PlaneClip& clip) {
  PerPixel(dest, source, dx, dy, source_rect, clip,
           [](uint8_t* d, const uint8_t* s) { StorePixel(d, LoadPixel(d) | LoadPixel(s)); });
}

void AndPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip) {
  PerPixel(dest, source, dx, dy, source_rect, clip,
           [](uint8_t* d, const uint8_t* s) { StorePixel(d, LoadPixel(d) & LoadPixel(s)); });
}

void AddPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip) {
  PerPixel(dest, source, dx, dy, source_rect, clip, [](uint8_t* d, const uint8_t* s) {
    for (int c = 0; c < 4; ++c) d[c] = Clamp255(d[c] + s[c]);
  });
}

void SubtractPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip) {
  PerPixel(dest, source, dx, dy, source_rect, clip, [](uint8_t* d, const uint8_t* s) {
    for (int c = 0; c < 4; ++c) d[c] = Clamp255(d[c] - s[c]);
  });
}

void Darken(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
            const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip) {
  if (amount <= 0) return dest.Copy(source, dx, dy, source_rect, clip);
  const int32_t keep = std::max(0, 256 - amount);
  PerPixel(dest, source, dx, dy, source_rect, clip, [&](uint8_t* d, const uint8_t* s) {
    for (int c = 0; c < 3; ++c) d[c] = uint8_t((s[c] * keep) >> 8);
    d[3] = 0;
  });
}

void Lighten(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
             const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip) {
  if (amount <= 0) return dest.Copy(source, dx, dy, source_rect, clip);
  PerPixel(dest, source, dx, dy, source_rect, clip, [&](uint8_t* d, const uint8_t* s) {
    for (int c = 0; c < 3; ++c) {
      d[c] = amount >= 256 ? 255 : uint8_t(s[c] + ((amount * (255 - s[c])) >> 8));
    }
    d[3] = 0;
  });
}

void BlendPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip) {
  if (amount <= 0) return;
  if (amount >= 256) return dest.Copy(source, dx, dy, source_rect, clip);
  PerPixel(dest, source, dx, dy, source_rect, clip, [&](uint8_t* d, const uint8_t* s) {
    for (int c = 0; c < 3; ++c) d[c] = uint8_t(d[c] + ((amount * (s[c] - d[c])) >> 8));
    d[3] = 0;
  });
}

void BlendTwoPlanes(CPlane32& dest, const CPlane32& a, const CPlane32& b, int32_t dx, int32_t dy,
                    const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip) {
  const int32_t t = std::clamp(amount, 0, 256);
  ForEachCopyRow2(dest, a, b, dx, dy, source_rect, clip,
                  [&](uint8_t* d, const uint8_t* p, const uint8_t* q, int32_t n) {
                    for (int32_t i = 0; i < n; ++i, d += 4, p += 4, q += 4) {
                      if (t == 0 || t == 256) {
                        std::memcpy(d, t == 0 ? p : q, 4);
                        continue;
                      }
                      for (int c = 0; c < 3; ++c) d[c] = uint8_t(p[c] + ((t * (q[c] - p[c])) >> 8));
                      d[3] = 0;
                    }
                  });
}

void CopyMasked(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, uint8_t low, uint8_t high, const PlaneClip& clip) {
  Masked(dest, source, mask, dx, dy, source_rect, clip,
         [&](uint8_t* d, const uint8_t* s, uint8_t m) {
           if (m >= low && m <= high) std::memcpy(d, s, 4);
         });
}

namespace {

// Fades the source toward one colour where the mask says so: fully at
// weight 256, not at all at 0, mix(sample, weight) between.
template <class Mix>
void BlendMaskedToward(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx,
                       int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                       int32_t softness, const PlaneClip& clip, uint32_t full, Mix mix) {
  int32_t w[256];
  MaskWeights(threshold, softness, w);
  Masked(dest, source, mask, dx, dy, source_rect, clip,
         [&](uint8_t* d, const uint8_t* s, uint8_t m) {
           const int32_t k = w[m];
           if (k == 0) {
             std::memcpy(d, s, 4);
           } else if (k == 256) {
             StorePixel(d, full);
           } else {
             for (int c = 0; c < 3; ++c) d[c] = mix(s[c], k);
             d[3] = 0;
           }
         });
}

}  // namespace

void BlendMaskedToBlack(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx,
                        int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                        int32_t softness, const PlaneClip& clip) {
  BlendMaskedToward(dest, source, mask, dx, dy, source_rect, threshold, softness, clip, 0,
                    [](int32_t v, int32_t k) { return uint8_t((v * (256 - k)) >> 8); });
}

void BlendMaskedToWhite(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx,
                        int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                        int32_t softness, const PlaneClip& clip) {
  BlendMaskedToward(dest, source, mask, dx, dy, source_rect, threshold, softness, clip, 0xFFFFFFFF,
                    [](int32_t v, int32_t k) { return uint8_t(v + (((255 - v) * k) >> 8)); });
}

void BlendMasked(CPlane32& dest, const CPlane32& a, const CPlane32& b, const CPlane8& mask,
                 int32_t dx, int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                 int32_t softness, const PlaneClip& clip) {
  int32_t w[256];
  MaskWeights(threshold, softness, w);
  const Detail::SourceArea area(dest, {&a, &b, &mask}, dx, dy, source_rect, clip);
  if (area.IsEmpty()) return;
  PlaneBitsLock lock(dest);
  for (int32_t y = 0; y < area.Height(); ++y) {
    uint8_t* d = lock.Row(area.Dest().top + y) + ptrdiff_t{area.Dest().left} * 4;
    const uint8_t* p = area.Row(0, y);
    const uint8_t* q = area.Row(1, y);
    const uint8_t* m = area.Row(2, y);
    for (int32_t i = 0; i < area.Width(); ++i, d += 4, p += 4, q += 4) {
      const int32_t k = w[m[i]];
      if (k == 0 || k == 256) {
        std::memcpy(d, k == 0 ? p : q, 4);
        continue;
      }
      for (int c = 0; c < 3; ++c) d[c] = uint8_t(p[c] + (((q[c] - p[c]) * k) >> 8));
      d[3] = 0;
    }
  }
}

}  // namespace Orvex
