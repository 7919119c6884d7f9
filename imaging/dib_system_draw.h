#pragma once

#include <cstdint>

#include "imaging/dib_source.h"
#include "imaging/plane_impl.h"

namespace Orvex::Detail {

// Lets the operating system draw the bitmap into a device context, limited
// to `target`, with the image's top-left pixel at (origin_x, origin_y).
// Returns false where the platform draws no bitmaps itself, so that the
// caller converts them. Throws Win32Exception when the system fails.
bool DrawDibThroughSystem(PlaneDeviceContext dc, const DibSource& dib, const PlaneRect& target,
                          int32_t origin_x, int32_t origin_y);

}  // namespace Orvex::Detail
