#pragma once

#include <cstdint>
#include <vector>

#include "imaging/plane32.h"

namespace Orvex {

// Draws a series of values as a dot plot filling `rect` (cut to the plane
// and the clip): sample i runs left to right across the rectangle, a value
// of `minimum` sits at the bottom and `minimum + range` at the top. Dots
// have the colour (red in the low byte) on black. Values outside the range,
// undefined values, an empty series or a range that is not positive draw no
// dot for that sample (the last three draw nothing at all). The plot is
// drawn sample by row into a small plane, turned a quarter and fitted to the
// rectangle with Lanczos3, so it is smooth at any size.
void PlotValues(CPlane32& dest, const std::vector<double>& values, double minimum, double range,
                uint32_t color, const PlaneRect& rect, const PlaneClip& clip);

}  // namespace Orvex
