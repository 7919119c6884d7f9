#pragma once

#include <cstdint>

#include "imaging/plane32.h"

namespace Orvex {

// Colour and tone changes in place over a rectangle, cut to the plane.
// Colours hold red in the low byte. Results marked "alpha 0" are colour
// only; the others keep each pixel's alpha.

// Moves each channel amount/256 of the way to `color` (alpha 0); amount
// <= 0 does nothing, >= 256 fills with the colour.
void Tint(CPlane32& plane, uint32_t color, int32_t amount, const PlaneRect& rect);
// Adds or subtracts the colour's channels, saturating.
void AddColor(CPlane32& plane, uint32_t color, const PlaneRect& rect);
void SubtractColor(CPlane32& plane, uint32_t color, const PlaneRect& rect);
// Mosaics of `block` x `block` squares (block < 2 does nothing). Leftover
// columns and rows form narrower blocks split between both edges, the
// smaller half on the left and top. MosaicCentre fills each block with its
// centre pixel, MosaicAverage with its mean colour (alpha 0).
void MosaicCentre(CPlane32& plane, int32_t block, const PlaneRect& rect);
void MosaicAverage(CPlane32& plane, int32_t block, const PlaneRect& rect);
// Maps B, G and R through the table (alpha 0).
void ApplyTable(CPlane32& plane, const uint8_t table[256], const PlaneRect& rect);
// Grey as (R + G + B) / 3 or by luminance, in all three channels (alpha 0).
void GreyMean(CPlane32& plane, const PlaneRect& rect);
void GreyLuminance(CPlane32& plane, const PlaneRect& rect);

}  // namespace Orvex
