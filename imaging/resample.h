#pragma once

#include <cstdint>
#include <functional>

#include "imaging/cpu_features.h"
#include "imaging/plane_geometry.h"
#include "imaging/resample_kernels.h"

namespace Orvex {

class CPlane32;
class PlaneBitsLock;

// Scales the `source_rect` part of `source` onto the `dest_rect` part of
// `dest` in two separable passes (the axis with the smaller scale first).
// The destination rectangle is cut to `dest` and to the clip, if enabled,
// and the source rectangle shrunk in proportion; then the source rectangle
// is cut to `source` and the destination shrunk likewise. Nothing happens
// when either ends up empty. `dest` and `source` may be the same plane.
//
// Pixel averaging: area average when reducing, linear when enlarging.
void ResampleAverage(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                     const PlaneRect& source_rect, const PlaneClip& clip);
void ResampleAverageAlpha(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                          const PlaneRect& source_rect, const PlaneClip& clip);
// Lanczos3, what the wallpaper is fitted with.
void ResampleLanczos(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                     const PlaneRect& source_rect, const PlaneClip& clip);
void ResampleLanczosAlpha(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                          const PlaneRect& source_rect, const PlaneClip& clip);
// The ...Alpha forms resample the alpha byte like the colours; the others
// write alpha 0.

// Runs the passes of every resampling operation on the worker threads (the
// default) or on the calling thread only. Process-wide; for tests and
// benchmarks that compare the two.
void SetResampleThreads(bool enabled);
bool ResampleThreadsEnabled();

namespace Detail {

enum class ResampleFilter { kAverage, kLanczos };

// Clips a scaled drawing: `dest` is cut to the destination's bounds
// (0, 0, dest_size) and to `clip` when enabled, `source` shrunk in
// proportion; then `source` is cut to (0, 0, source_size) and `dest` shrunk
// in proportion. Returns false when nothing is left to draw; then the
// rectangles are unspecified.
bool ClipScaled(PlaneRect& dest, PlaneRect& source, const PlaneSize& dest_size,
                const PlaneSize& source_size, const PlaneClip& clip);

// The `rect` part of a locked 32-bit plane.
SImageView ViewOf(const PlaneBitsLock& bits, const PlaneRect& rect);

// True when the vertical pass runs first: the vertical scale h_out / h_in
// is the smaller one, so that axis is reduced first.
bool VerticalPassFirst(int32_t source_width, int32_t source_height, int32_t dest_width,
                       int32_t dest_height);

// Calls rows(begin, end) over [0, count): split across the worker pool
// (ParallelFor) when `threads` holds, otherwise once on the calling thread.
void RunRowBlocks(int32_t count, bool threads, const std::function<void(int32_t, int32_t)>& rows);

// The taps of one pass of the filter along an axis.
STapPlan MakePlan(ResampleFilter filter, int32_t source_length, int32_t dest_length);

// Resamples all of `src` into all of `dst` in two separable passes through
// a heap plane. The first pass only reads `src` and the second only writes
// `dst`, so the two may share pixels.
void ResampleViews(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                   const SImageView& dst, SimdLevel level, bool threads);
// The same with the given kernels instead of those of a level.
void ResampleViews(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                   const SImageView& dst, const SPassKernels& kernels, bool threads);

}  // namespace Detail
}  // namespace Orvex
