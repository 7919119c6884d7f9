#include "imaging/resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "foundation/exceptions.h"
#include "imaging/resample_tables.h"

namespace Orvex {
namespace {

std::atomic<bool> g_threads{true};

int32_t RoundHalfUp(double value) { return static_cast<int32_t>(std::floor(value + 0.5)); }

}  // namespace

void SetResampleThreads(bool enabled) { g_threads.store(enabled, std::memory_order_relaxed); }

bool ResampleThreadsEnabled() { return g_threads.load(std::memory_order_relaxed); }

namespace Detail {

bool ClipScaled(SScaledRect& dest, SScaledRect& source, int32_t dest_width, int32_t dest_height,
                int32_t source_width, int32_t source_height, const SScaledRect* clip) {
  if (dest.IsEmpty() || source.IsEmpty()) return false;
  // 64-bit differences: rectangles may span the whole 32-bit range.
  const double sx = static_cast<double>(int64_t{dest.right} - dest.left) /
                    static_cast<double>(int64_t{source.right} - source.left);
  const double sy = static_cast<double>(int64_t{dest.bottom} - dest.top) /
                    static_cast<double>(int64_t{source.bottom} - source.top);

  SScaledRect visible{std::max(dest.left, 0), std::max(dest.top, 0),
                      std::min(dest.right, dest_width), std::min(dest.bottom, dest_height)};
  if (clip != nullptr) {
    visible = {std::max(visible.left, clip->left), std::max(visible.top, clip->top),
               std::min(visible.right, clip->right), std::min(visible.bottom, clip->bottom)};
  }
  if (visible.IsEmpty()) return false;

  // The source edges move by the destination's cut-offs, scaled back.
  int64_t s_left = source.left - int64_t{RoundHalfUp((double(dest.left) - visible.left) / sx)};
  int64_t s_top = source.top - int64_t{RoundHalfUp((double(dest.top) - visible.top) / sy)};
  int64_t s_right = source.right - int64_t{RoundHalfUp((double(dest.right) - visible.right) / sx)};
  int64_t s_bottom =
      source.bottom - int64_t{RoundHalfUp((double(dest.bottom) - visible.bottom) / sy)};

  const int64_t c_left = std::max<int64_t>(s_left, 0);
  const int64_t c_top = std::max<int64_t>(s_top, 0);
  const int64_t c_right = std::min<int64_t>(s_right, source_width);
  const int64_t c_bottom = std::min<int64_t>(s_bottom, source_height);
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

bool VerticalPassFirst(int32_t source_width, int32_t source_height, int32_t dest_width,
                       int32_t dest_height) {
  return int64_t{dest_height} * source_width < int64_t{source_height} * dest_width;
}

void RunRowBlocks(int32_t count, bool threads, const std::function<void(int32_t, int32_t)>& rows) {
  static const int32_t processors =
      static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  if (!threads || processors == 1) {
    rows(0, count);
    return;
  }
  // P - 1 helpers take one block each; this thread takes the last block,
  // which also carries the remainder. A failure on any block is reported
  // once every block has finished.
  const int32_t chunk = count / processors;
  std::vector<std::thread> helpers;
  std::vector<std::exception_ptr> failures(processors);
  auto block = [&rows, &failures](int32_t slot, int32_t begin, int32_t end) {
    try {
      rows(begin, end);
    } catch (...) {
      failures[slot] = std::current_exception();
    }
  };
  if (chunk > 0) {
    helpers.reserve(processors - 1);
    for (int32_t i = 0; i + 1 < processors; ++i) {
      helpers.emplace_back(block, i, i * chunk, (i + 1) * chunk);
    }
  }
  block(processors - 1, (processors - 1) * chunk, count);
  for (std::thread& t : helpers) t.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

namespace {

STapPlan MakePlan(ResampleFilter filter, int32_t source_length, int32_t dest_length) {
  if (filter == ResampleFilter::kLanczos) {
    return STapPlan(SLanczosData(source_length, dest_length));
  }
  return STapPlan(SPixelAverationData(source_length, dest_length));
}

void RunPass(bool horizontal, const STapPlan& plan, const SImageView& src, const SImageView& dst,
             bool keep_alpha, SimdLevel level, bool threads) {
  const SPassKernels& kernels = PassKernelsFor(level);
  const PassKernel kernel = horizontal ? kernels.horizontal : kernels.vertical;
  RunRowBlocks(dst.height, threads,
               [&](int32_t begin, int32_t end) { kernel(plan, src, dst, begin, end, keep_alpha); });
}

}  // namespace

void ResampleViews(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                   const SImageView& dst, SimdLevel level, bool threads) {
  const int32_t w = src.width;
  const int32_t h = src.height;
  const int32_t width = dst.width;
  const int32_t height = dst.height;
  if (w <= 0 || h <= 0 || width <= 0 || height <= 0) return;

  const bool vertical_first = VerticalPassFirst(w, h, width, height);
  const int32_t mid_width = vertical_first ? w : width;
  const int32_t mid_height = vertical_first ? height : h;
  // Every byte is written by the first pass: no need to clear it.
  std::unique_ptr<uint8_t[]> storage;
  try {
    storage.reset(new uint8_t[static_cast<size_t>(mid_width) * mid_height * 4]);
  } catch (const std::bad_alloc&) {
    throw RuntimeException(u"画像保持メモリの作成に失敗しました");
  }
  const SImageView mid{storage.get(), static_cast<ptrdiff_t>(mid_width) * 4, mid_width, mid_height};

  if (vertical_first) {
    RunPass(false, MakePlan(filter, h, height), src, mid, keep_alpha, level, threads);
    RunPass(true, MakePlan(filter, w, width), mid, dst, keep_alpha, level, threads);
  } else {
    RunPass(true, MakePlan(filter, w, width), src, mid, keep_alpha, level, threads);
    RunPass(false, MakePlan(filter, h, height), mid, dst, keep_alpha, level, threads);
  }
}

}  // namespace Detail
}  // namespace Orvex
