#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "imaging/cpu_features.h"
#include "imaging/plane_geometry.h"
#include "imaging/resample.h"
#include "imaging/resample_kernels.h"
#include "imaging/row_sink.h"

namespace Orvex {

class CPlane32;

// Writes all rows of a picture, from row 0 down, into the sink.
using RowSource = std::function<void(IRowSink& sink)>;
// Shown each row of a picture once it is final, in order, on the thread
// that writes the rows and before their memory is used again.
using RowObserver = std::function<void(int32_t y, const uint8_t* row)>;

// ResampleLanczos of a picture of `source_size` whose rows come from
// `rows` and are never all held at once: the first pass takes them as they
// arrive, the second pass takes the first's rows as they are done, and
// only the rows that the filter taps still need are kept, in two small
// rings. The worker threads compute the passes while `rows` runs on the
// calling thread; a writer that gets too far ahead waits for them (or, on
// one thread, computes the waiting rows itself). The result is byte for
// byte that of ResampleLanczos on the whole picture. Every row reaches
// `observe`, also where nothing is drawn. An exception from `rows` or from
// the resampling reaches the caller, a failed resampling's first; `dest`
// is then only partly written.
void ResampleLanczosRows(CPlane32& dest, const PlaneSize& source_size, const PlaneRect& dest_rect,
                         const PlaneRect& source_rect, const PlaneClip& clip, const RowSource& rows,
                         const RowObserver& observe = {});

// Rows [top, top + count) of a resampled destination, from its column
// `left` on, handed over as the second pass finishes them: on whichever
// thread made them, in no particular order, and valid only during the call.
struct SDestRows {
  int32_t top;
  int32_t count;
  int32_t left;
  int32_t width;
  const uint8_t* first;
  ptrdiff_t step;

  const uint8_t* Row(int32_t i) const { return first + step * i; }
};
using DestRows = std::function<void(const SDestRows& rows)>;

// ResampleLanczosRows onto all of a destination of `dest_size` that is
// never held whole either: its rows go to `take` as they are made.
void ResampleLanczosRowsTo(const PlaneSize& dest_size, const PlaneSize& source_size,
                           const PlaneRect& source_rect, const RowSource& rows,
                           const DestRows& take, const RowObserver& observe = {});

// Told by whoever fills a plane that its rows [0, rows) hold their final
// pixels. Counts only grow.
using RowsReady = std::function<void(int32_t rows)>;
// Fills a plane from the top down, reporting its progress as it goes; it
// may also report nothing and simply return when the plane is complete.
using PlaneFill = std::function<void(const RowsReady& rows_ready)>;

// ResampleLanczos of a source plane that is still being filled: the rows
// `fill` reports are resampled meanwhile, as ResampleLanczosRows does.
// `source` must have its final size before the call and must not be
// `dest`. Errors as for ResampleLanczosRows.
void ResampleLanczosWhileFilling(CPlane32& dest, CPlane32& source, const PlaneRect& dest_rect,
                                 const PlaneRect& source_rect, const PlaneClip& clip,
                                 const PlaneFill& fill);

namespace Detail {

// Hands over destination rows [begin, end), held in `rows`.
using BandRows = std::function<void(int32_t begin, int32_t end, const SImageView& rows)>;

// What one resampling of streamed rows makes: the `source_rect` part of a
// picture of `picture` size onto all of `dst` (nothing when either is
// empty), with `kernels`, on the worker threads when `threads` holds.
struct SStreamJob {
  ResampleFilter filter;
  bool keep_alpha;
  PlaneSize picture;
  PlaneRect source_rect;
  SImageView dst;
  const SPassKernels& kernels;
  bool threads;
};

// Resamples the job's picture, whose rows come from `rows`. With `take`,
// dst.bits is not used: the destination's rows are made in a ring of their
// own and handed to `take`.
void ResampleRows(const SStreamJob& job, const RowSource& rows, const RowObserver& observe,
                  const BandRows& take = {});

// ResampleViews on a source whose rows arrive during `fill`; the row
// counts `fill` reports are those of the plane, whose row `first_row` is
// the first row of `src`. A pass kernel that throws ends the call with its
// exception once `fill` has returned and every helper has stopped.
void ResampleViewsWhileFilling(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                               const SImageView& dst, const SPassKernels& kernels, bool threads,
                               int32_t first_row, const PlaneFill& fill);

}  // namespace Detail
}  // namespace Orvex
