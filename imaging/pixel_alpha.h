#pragma once

#include <cstdint>

#include "imaging/plane32.h"
#include "imaging/plane8.h"

namespace Orvex {

// Operations on the alpha byte of every pixel of the plane.
void ClearAlpha(CPlane32& plane);
void InvertAlpha(CPlane32& plane);
// Alpha becomes the pixel's own luminance.
void AlphaFromLuminance(CPlane32& plane);
// Alpha from the byte or the luminance of another plane at the same
// position; only where both planes have pixels.
void AlphaFromPlane8(CPlane32& plane, const CPlane8& source);
void AlphaFromPlaneLuminance(CPlane32& plane, const CPlane32& source);
// Draws the source over this plane by the source's own alpha a: 0 keeps
// the destination, 255 copies the pixel, anything between moves each
// channel a/256 of the way to the source and leaves alpha 0. Clipped as
// Copy is.
void AlphaComposite(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                    const PlaneRect& source_rect, const PlaneClip& clip);

}  // namespace Orvex
