#pragma once

#include <cstdint>

#include "imaging/plane32.h"
#include "imaging/plane8.h"

namespace Orvex {

// Per-pixel copies and combinations. Each draws the `source_rect` part of
// its source(s) with the top-left corner at (dx, dy) of `dest`, clipped as
// Copy is; second sources and masks are read at the same positions as the
// first source and cut the area to their own bounds. Sources may be `dest`.

// Each byte v becomes entry v of `colors` (red in the low byte), alpha 0.
void PaletteCopy(CPlane32& dest, const CPlane8& source, int32_t dx, int32_t dy,
                 const PlaneRect& source_rect, const uint32_t colors[256], const PlaneClip& clip);
// Copies the pixels whose whole 32-bit value (alpha included) differs
// from `key`.
void CopyExceptKey(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, uint32_t key, const PlaneClip& clip);
// Grey from weights of R, G and B (1.0 = all of a channel), capped at 255;
// the source's alpha is kept.
void GreyWeighted(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, double red, double green, double blue,
                  const PlaneClip& clip);
// (R', G', B') = matrix * (R, G, B), the matrix row by row, clamped to
// 0-255; the source's alpha is kept.
void ColorMatrix(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                 const PlaneRect& source_rect, const double matrix[9], const PlaneClip& clip);
// Bitwise and saturating per-byte combinations with the destination.
void OrPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
             const PlaneRect& source_rect, const PlaneClip& clip);
void AndPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip);
void AddPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip);
void SubtractPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip);
// Copies darkened or lightened by amount/256 (alpha 0): <= 0 a plain copy,
// >= 256 black or white.
void Darken(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
            const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip);
void Lighten(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
             const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip);
// Moves the destination amount/256 of the way to the source (alpha 0):
// <= 0 nothing, >= 256 a plain copy.
void BlendPlane(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip);
// Writes a + amount/256 of (b - a) (alpha 0): <= 0 a copy of a, >= 256 of b.
void BlendTwoPlanes(CPlane32& dest, const CPlane32& a, const CPlane32& b, int32_t dx, int32_t dy,
                    const PlaneRect& source_rect, int32_t amount, const PlaneClip& clip);
// Copies where the mask byte lies in [low, high].
void CopyMasked(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, uint8_t low, uint8_t high, const PlaneClip& clip);
// Mask-driven transitions: a mask byte below `threshold` leaves the first
// image, one at or above threshold + softness gives the target, and the
// `softness` values between ramp up. Blended pixels get alpha 0.
void BlendMaskedToBlack(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx,
                        int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                        int32_t softness, const PlaneClip& clip);
void BlendMaskedToWhite(CPlane32& dest, const CPlane32& source, const CPlane8& mask, int32_t dx,
                        int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                        int32_t softness, const PlaneClip& clip);
void BlendMasked(CPlane32& dest, const CPlane32& a, const CPlane32& b, const CPlane8& mask,
                 int32_t dx, int32_t dy, const PlaneRect& source_rect, int32_t threshold,
                 int32_t softness, const PlaneClip& clip);

}  // namespace Orvex
