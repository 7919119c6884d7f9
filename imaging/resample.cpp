#include "imaging/resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "foundation/parallel_for.h"
#include "imaging/plane32.h"
#include "imaging/resample_tables.h"

namespace Orvex {
namespace {

std::atomic<bool> g_threads{true};

int32_t RoundHalfUp(double value) { return static_cast<int32_t>(std::floor(value + 0.5)); }

}  // namespace

void SetResampleThreads(bool enabled) { g_threads.store(enabled, std::memory_order_relaxed); }

bool ResampleThreadsEnabled() { return g_threads.load(std::memory_order_relaxed); }

namespace Detail {

bool ClipScaled(PlaneRect& dest, PlaneRect& source, const PlaneSize& dest_size,
                const PlaneSize& source_size, const PlaneClip& clip) {
  if (dest.IsEmpty() || source.IsEmpty()) return false;
  // 64-bit widths: rectangles may span the whole 32-bit range.
  const double sx = static_cast<double>(dest.Width()) / static_cast<double>(source.Width());
  const double sy = static_cast<double>(dest.Height()) / static_cast<double>(source.Height());

  PlaneRect visible = Intersect(dest, PlaneRect{0, 0, dest_size.width, dest_size.height});
  if (clip.enabled) visible = Intersect(visible, clip.rect);
  if (visible.IsEmpty()) return false;

  // The source edges move by the destination's cut-offs, scaled back.
  const int64_t s_left =
      source.left - int64_t{RoundHalfUp((double(dest.left) - visible.left) / sx)};
  const int64_t s_top = source.top - int64_t{RoundHalfUp((double(dest.top) - visible.top) / sy)};
  const int64_t s_right =
      source.right - int64_t{RoundHalfUp((double(dest.right) - visible.right) / sx)};
  const int64_t s_bottom =
      source.bottom - int64_t{RoundHalfUp((double(dest.bottom) - visible.bottom) / sy)};

  const int64_t c_left = std::max<int64_t>(s_left, 0);
  const int64_t c_top = std::max<int64_t>(s_top, 0);
  const int64_t c_right = std::min<int64_t>(s_right, source_size.width);
  const int64_t c_bottom = std::min<int64_t>(s_bottom, source_size.height);
  if (c_left >= c_right || c_top >= c_bottom) return false;

  // And the destination edges by the source's cut-offs, scaled forward.
  const int64_t d_left = visible.left + int64_t{RoundHalfUp(double(c_left - s_left) * sx)};
  const int64_t d_top = visible.top + int64_t{RoundHalfUp(double(c_top - s_top) * sy)};
  const int64_t d_right = visible.right - int64_t{RoundHalfUp(double(s_right - c_right) * sx)};
  const int64_t d_bottom = visible.bottom - int64_t{RoundHalfUp(double(s_bottom - c_bottom) * sy)};
  if (d_left >= d_right || d_top >= d_bottom) return false;

  dest = {static_cast<int32_t>(d_left), static_cast<int32_t>(d_top), static_cast<int32_t>(d_right),
          static_cast<int32_t>(d_bottom)};
  source = {static_cast<int32_t>(c_left), static_cast<int32_t>(c_top),
            static_cast<int32_t>(c_right), static_cast<int32_t>(c_bottom)};
  return true;
}

SImageView ViewOf(const PlaneBitsLock& bits, const PlaneRect& rect) {
  return SImageView{bits.Row(rect.top) + 4 * static_cast<ptrdiff_t>(rect.left), bits.Step(),
                    rect.right - rect.left, rect.bottom - rect.top};
}

bool VerticalPassFirst(int32_t source_width, int32_t source_height, int32_t dest_width,
                       int32_t dest_height) {
  return int64_t{dest_height} * source_width < int64_t{source_height} * dest_width;
}

void RunRowBlocks(int32_t count, bool threads, const std::function<void(int32_t, int32_t)>& rows) {
  if (threads) {
    ParallelFor(rows, 0, count);
  } else {
    rows(0, count);
  }
}

STapPlan MakePlan(ResampleFilter filter, int32_t source_length, int32_t dest_length) {
  if (filter == ResampleFilter::kLanczos) {
    return STapPlan(SLanczosData(source_length, dest_length));
  }
  return STapPlan(SPixelAverationData(source_length, dest_length));
}

namespace {

void RunPass(bool horizontal, const STapPlan& plan, const SImageView& src, const SImageView& dst,
             bool keep_alpha, const SPassKernels& kernels, bool threads) {
  const PassKernel kernel = horizontal ? kernels.horizontal : kernels.vertical;
  RunRowBlocks(dst.height, threads,
               [&](int32_t begin, int32_t end) { kernel(plan, src, dst, begin, end, keep_alpha); });
}

}  // namespace

void ResampleViews(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                   const SImageView& dst, SimdLevel level, bool threads) {
  ResampleViews(filter, keep_alpha, src, dst, PassKernelsFor(level), threads);
}

void ResampleViews(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                   const SImageView& dst, const SPassKernels& kernels, bool threads) {
  const int32_t w = src.width;
  const int32_t h = src.height;
  const int32_t width = dst.width;
  const int32_t height = dst.height;
  if (w <= 0 || h <= 0 || width <= 0 || height <= 0) return;

  const bool vertical_first = VerticalPassFirst(w, h, width, height);
  const int32_t mid_width = vertical_first ? w : width;
  const int32_t mid_height = vertical_first ? height : h;
  // Heap planes recycle their blocks, so a run of resamples does not keep
  // asking the system for fresh pages.
  CMemoryPlane32 mid_plane;
  mid_plane.SetSize(PlaneSize{mid_width, mid_height});
  const PlaneBitsLock mid_bits(mid_plane);
  const SImageView mid{mid_bits.Row(0), mid_bits.Step(), mid_width, mid_height};

  if (vertical_first) {
    RunPass(false, MakePlan(filter, h, height), src, mid, keep_alpha, kernels, threads);
    RunPass(true, MakePlan(filter, w, width), mid, dst, keep_alpha, kernels, threads);
  } else {
    RunPass(true, MakePlan(filter, w, width), src, mid, keep_alpha, kernels, threads);
    RunPass(false, MakePlan(filter, h, height), mid, dst, keep_alpha, kernels, threads);
  }
}

}  // namespace Detail

namespace {

void ResamplePlanes(Detail::ResampleFilter filter, bool keep_alpha, CPlane32& dest,
                    const CPlane32& source, const PlaneRect& dest_rect,
                    const PlaneRect& source_rect, const PlaneClip& clip) {
  PlaneRect d = dest_rect;
  PlaneRect s = source_rect;
  if (!Detail::ClipScaled(d, s, dest.GetSize(), source.GetSize(), clip)) return;
  const PlaneBitsLock source_bits(source);
  const PlaneBitsLock dest_bits(dest);
  Detail::ResampleViews(filter, keep_alpha, Detail::ViewOf(source_bits, s),
                        Detail::ViewOf(dest_bits, d), ActiveSimdLevel(), ResampleThreadsEnabled());
}

}  // namespace

void ResampleAverage(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                     const PlaneRect& source_rect, const PlaneClip& clip) {
  ResamplePlanes(Detail::ResampleFilter::kAverage, false, dest, source, dest_rect, source_rect,
                 clip);
}

void ResampleAverageAlpha(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                          const PlaneRect& source_rect, const PlaneClip& clip) {
  ResamplePlanes(Detail::ResampleFilter::kAverage, true, dest, source, dest_rect, source_rect,
                 clip);
}

void ResampleLanczos(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                     const PlaneRect& source_rect, const PlaneClip& clip) {
  ResamplePlanes(Detail::ResampleFilter::kLanczos, false, dest, source, dest_rect, source_rect,
                 clip);
}

void ResampleLanczosAlpha(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                          const PlaneRect& source_rect, const PlaneClip& clip) {
  ResamplePlanes(Detail::ResampleFilter::kLanczos, true, dest, source, dest_rect, source_rect,
                 clip);
}

}  // namespace Orvex
