#pragma once

#include <cstdint>

#include "imaging/plane32.h"

namespace Orvex {

// Read-only measurements over a rectangle of a 32-bit plane. The rectangle
// is cut to the plane; the counts of an empty one are all zero.

// Counts of the luminance (77R + 151G + 28B) >> 8.
void LuminanceHistogram(const CPlane32& plane, uint32_t counts[256], const PlaneRect& rect);
// Counts of (R + G + B) / 3.
void MeanHistogram(const CPlane32& plane, uint32_t counts[256], const PlaneRect& rect);
void ChannelHistograms(const CPlane32& plane, uint32_t red[256], uint32_t green[256],
                       uint32_t blue[256], const PlaneRect& rect);
// The number of distinct colours, alpha ignored.
uint32_t CountColors(const CPlane32& plane, const PlaneRect& rect);
// The mean colour (red in the low byte), each channel rounded down; 0 for
// an empty rectangle.
uint32_t AverageColor(const CPlane32& plane, const PlaneRect& rect);
// True when at least 5 % of the pixels (rounded down) have a non-zero alpha
// byte, that is when the alpha channel carries an image rather than noise.
bool HasAlphaPixels(const CPlane32& plane, const PlaneRect& rect);

}  // namespace Orvex
