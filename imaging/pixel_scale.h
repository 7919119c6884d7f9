#pragma once

#include <cstdint>

#include "imaging/plane32.h"

namespace Orvex {

// Quick scaling of the `source_rect` part of `source` onto `dest_rect`,
// clipped as resampling is. Equal sizes copy and exactly double sizes
// repeat each pixel 2 x 2; the bilinear forms average 2 x 2 or 4 x 4 blocks
// for exactly half or a quarter. Other sizes step through the source in
// 16.16 fixed point. The colour form writes alpha 0, the Alpha form
// interpolates alpha too; nearest copies whole pixels.
void ScaleNearest(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                  const PlaneRect& source_rect, const PlaneClip& clip);
void ScaleBilinear(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                   const PlaneRect& source_rect, const PlaneClip& clip);
void ScaleBilinearAlpha(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                        const PlaneRect& source_rect, const PlaneClip& clip);

namespace Detail {

enum class ScaleFilter { kNearest, kBilinear, kBilinearAlpha };

// The stepping that runs when no shortcut applies; exposed so that the
// shortcuts can be checked against it.
void ScaleStepping(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                   const PlaneRect& source_rect, const PlaneClip& clip, ScaleFilter filter);

}  // namespace Detail

}  // namespace Orvex
