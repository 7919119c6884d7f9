#pragma once

#include <cstdint>
#include <functional>

#include "imaging/cpu_features.h"
#include "imaging/plane_geometry.h"
#include "imaging/resample.h"
#include "imaging/resample_kernels.h"

namespace Orvex {

class CPlane32;

// Told by whoever fills a plane that its rows [0, rows) hold their final
// pixels. Counts only grow.
using RowsReady = std::function<void(int32_t rows)>;
// Fills a plane from the top down, reporting its progress as it goes; it
// may also report nothing and simply return when the plane is complete.
using PlaneFill = std::function<void(const RowsReady& rows_ready)>;

// ResampleLanczos of a source that is still being filled. `fill` runs on
// the calling thread while the worker threads resample the rows it has
// finished, so a decoder and the resampler share the processors instead
// of taking turns. The result is byte for byte that of running `fill` and
// then ResampleLanczos. `source` must have its final size before the call
// and must not be `dest`. An exception from `fill` stops the resampling
// and reaches the caller; so does one from the resampling, once `fill` has
// returned. `dest` is then only partly written.
void ResampleLanczosWhileFilling(CPlane32& dest, CPlane32& source, const PlaneRect& dest_rect,
                                 const PlaneRect& source_rect, const PlaneClip& clip,
                                 const PlaneFill& fill);

namespace Detail {

// ResampleViews on a source whose rows arrive during `fill`; the row
// counts `fill` reports are those of the plane, whose row `first_row` is
// the first row of `src`. A pass kernel that throws ends the call with its
// exception once `fill` has returned and every helper has stopped.
void ResampleViewsWhileFilling(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                               const SImageView& dst, const SPassKernels& kernels, bool threads,
                               int32_t first_row, const PlaneFill& fill);

}  // namespace Detail
}  // namespace Orvex
