#pragma once

#include <cstdint>
#include <functional>

#include "imaging/cpu_features.h"
#include "imaging/resample_kernels.h"

namespace Orvex {

// Runs the passes of every resampling operation on the worker threads (the
// default) or on the calling thread only. Process-wide; for tests and
// benchmarks that compare the two.
void SetResampleThreads(bool enabled);
bool ResampleThreadsEnabled();

namespace Detail {

enum class ResampleFilter { kAverage, kLanczos };

// A rectangle with exclusive right and bottom edges.
struct SScaledRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  bool IsEmpty() const { return left >= right || top >= bottom; }
};

// Clips a scaled drawing of `source` (in a source of source_width x
// source_height) onto `dest` (in a destination of dest_width x dest_height,
// further limited by `clip` when given): the destination is cut to what is
// visible and the source shrunk in proportion, then the source is cut to the
// source bounds and the destination shrunk in proportion. Returns false when
// nothing is left to draw; then the rectangles are unspecified.
bool ClipScaled(SScaledRect& dest, SScaledRect& source, int32_t dest_width, int32_t dest_height,
                int32_t source_width, int32_t source_height, const SScaledRect* clip);

// True when the vertical pass runs first: the vertical scale h_out / h_in
// is the smaller one, so that axis is reduced first.
bool VerticalPassFirst(int32_t source_width, int32_t source_height, int32_t dest_width,
                       int32_t dest_height);

// Calls rows(begin, end) over [0, count): split across the worker threads
// when `threads` holds, otherwise once on the calling thread.
void RunRowBlocks(int32_t count, bool threads, const std::function<void(int32_t, int32_t)>& rows);

// Resamples all of `src` into all of `dst` in two separable passes. The
// first pass only reads `src` and the second only writes `dst`, so the two
// may share pixels.
void ResampleViews(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                   const SImageView& dst, SimdLevel level, bool threads);

}  // namespace Detail
}  // namespace Orvex
