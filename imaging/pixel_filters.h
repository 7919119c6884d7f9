#pragma once

#include <cstdint>

#include "imaging/plane32.h"

namespace Orvex {

// Neighbourhood filters: each reads the `source_rect` part of `source` and
// writes the result with its top-left corner at (dx, dy) of `dest`, cut to
// both planes and the clip as Copy is. The edges of the cut area are the
// image's edges: a pixel there uses only the neighbours inside the area.
// Colour results carry alpha 0. `source` may be `dest`; it is then read
// from a copy taken before anything is written.

// c' = c + (c - m) / 2 per channel, m the mean of the four (at an edge
// three, in a corner two) direct neighbours. Areas under 2 pixels wide or
// high are copied unchanged.
void Sharpen(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
             const PlaneRect& source_rect, const PlaneClip& clip);
// As Sharpen with c' = 2c - m.
void SharpenStrong(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip);
// c' = (c + m) / 2 with the neighbours of Sharpen.
void Smooth(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
            const PlaneRect& source_rect, const PlaneClip& clip);
// A separable Gaussian of deviation `sigma` (taps out to 3 sigma), edge
// pixels repeated. A sigma under 1/3 leaves a single tap: a copy.
void GaussianBlur(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, double sigma, const PlaneClip& clip);
// Unsharp masking from an image and its blurred form, read at the same
// positions: c' = c + (c - b) / 2, clamped.
void UnsharpCombine(CPlane32& dest, const CPlane32& source, const CPlane32& blurred, int32_t dx,
                    int32_t dy, const PlaneRect& source_rect, const PlaneClip& clip);
// Grey edge strength: the sum over B, G, R and the four neighbours of
// 256 * strength * d^2 (d the difference), divided by 256 and clamped.
// Border pixels are left as they are; areas under 3 x 3 are copied.
void EdgeDetect(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, double strength, const PlaneClip& clip);
// 3 x 3 median by R + G + B: each interior pixel becomes the pixel of its
// neighbourhood with the median sum. Border pixels, and areas of 2 pixels
// or less in either direction, are left as they are.
void MedianFilter(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, const PlaneClip& clip);

}  // namespace Orvex
