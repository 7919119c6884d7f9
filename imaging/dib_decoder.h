#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/dib_source.h"
#include "imaging/plane_geometry.h"

namespace Orvex::Detail {

// Converts the `source` rectangle of the bitmap (top-down image
// coordinates, inside the image) into 32-bit pixels B, G, R, A: the
// rectangle's top-left pixel goes to `dst`, rows advance by `dst_step`
// bytes. 32-bit BI_RGB pixels keep their fourth byte; every other format
// writes 0 there. Pixels that run-length data skips (deltas, early ends of
// lines or of the bitmap) keep what the destination held.
void DecodeDib(const DibSource& dib, const PlaneRect& source, uint8_t* dst, ptrdiff_t dst_step);

}  // namespace Orvex::Detail
