#pragma once

#include <cstdint>

#include "imaging/plane32.h"

namespace Orvex {

// Turns an image resampled to three times its width into one pixel per
// three columns for sub-pixel display: destination pixel j of a row takes
// its red from source column 3j, green (and alpha) from 3j + 1 and blue from
// 3j + 2. An 8-bit source gives its bytes as red, green and blue (alpha 0);
// other depths are taken as grey. The destination is (dx, dy) with a third
// of the source's width and its height, clipped as scaled drawing is.
void CollapseSubpixels(CPlane32& dest, const CPlane& source, int32_t dx, int32_t dy,
                       const PlaneRect& source_rect, const PlaneClip& clip);
// The same for one row: `columns` pixels from 3 x `columns` 32-bit ones.
void CollapseSubpixelRow(uint8_t* out, const uint8_t* in, int32_t columns);

}  // namespace Orvex
