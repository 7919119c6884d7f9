#include "imaging/resample_stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "foundation/large_pages.h"
#include "foundation/processor_count.h"
#include "foundation/worker_thread_controller.h"
#include "imaging/plane32.h"
#include "imaging/resample_tables.h"

namespace Orvex {
namespace Detail {
namespace {

// Rows per piece of work. Small enough that the workers keep close behind
// the decoder and share the last rows fairly, large enough that taking a
// piece costs nothing next to computing it.
constexpr int32_t kFirstPassBand = 16;
constexpr int32_t kSecondPassBand = 8;

struct SBand {
  int32_t begin;
  int32_t end;
  // Rows of the pass's input that must be final before the band can run.
  int32_t needs;
};

// Cuts the rows of a pass into bands. A horizontal pass reads the same
// rows it writes; a vertical pass reads the rows its taps name.
std::vector<SBand> MakeBands(int32_t rows, int32_t band_rows, bool horizontal,
                             const STapPlan& plan) {
  std::vector<SBand> bands;
  for (int32_t begin = 0; begin < rows; begin += band_rows) {
    const int32_t end = std::min(rows, begin + band_rows);
    int32_t needs = end;
    if (!horizontal) {
      needs = 0;
      for (int32_t r = begin; r < end; ++r) {
        const int32_t* idx = plan.Indices(r);
        for (int32_t j = 0; j < plan.taps; ++j) needs = std::max(needs, idx[j] + 1);
      }
    }
    bands.push_back(SBand{begin, end, needs});
  }
  // Bands are taken in order, so one that needs less than an earlier one
  // must not wait behind it for nothing; and none may get ahead of it.
  for (size_t i = 1; i < bands.size(); ++i) {
    bands[i].needs = std::max(bands[i].needs, bands[i - 1].needs);
  }
  return bands;
}

// Hands out the bands of both passes to whichever thread asks, each as
// soon as the rows it reads are final: first-pass bands as the source
// fills, second-pass bands as the first pass completes a prefix of the
// intermediate plane.
class CBandSchedule {
 public:
  CBandSchedule(std::vector<SBand> first, std::vector<SBand> second)
      : first_(std::move(first)), second_(std::move(second)), first_done_(first_.size(), 0) {}

  void SourceReady(int32_t rows) {
    {
      std::lock_guard lock(mutex_);
      if (rows <= source_ready_) return;
      source_ready_ = rows;
    }
    ready_.notify_all();
  }

  void Abandon() {
    {
      std::lock_guard lock(mutex_);
      abandoned_ = true;
    }
    ready_.notify_all();
  }

  // Works bands until none is left to take, the fill failed or a band
  // failed. A band that throws leaves rows unwritten that later bands
  // would wait for, so it ends the schedule for every thread; its
  // exception, the first if several threw, is kept for Error.
  template <class First, class Second>
  void Work(const First& run_first, const Second& run_second) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (abandoned_) return;
      if (next_first_ < first_.size() && first_[next_first_].needs <= source_ready_) {
        const size_t band = next_first_++;
        lock.unlock();
        if (!Run(run_first, first_[band])) return;
        lock.lock();
        first_done_[band] = 1;
        bool advanced = false;
        while (first_prefix_ < first_.size() && first_done_[first_prefix_]) {
          mid_ready_ = first_[first_prefix_++].end;
          advanced = true;
        }
        if (advanced) ready_.notify_all();
        continue;
      }
      if (next_second_ < second_.size() && second_[next_second_].needs <= mid_ready_) {
        const size_t band = next_second_++;
        lock.unlock();
        if (!Run(run_second, second_[band])) return;
        lock.lock();
        continue;
      }
      if (next_first_ == first_.size() && next_second_ == second_.size()) return;
      ready_.wait(lock);
    }
  }

  // The exception of the first band that failed, if any.
  std::exception_ptr Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  // Runs one band with the lock released; false when it threw.
  template <class Pass>
  bool Run(const Pass& pass, const SBand& band) {
    try {
      pass(band.begin, band.end);
      return true;
    } catch (...) {
      {
        std::lock_guard lock(mutex_);
        if (!error_) error_ = std::current_exception();
        abandoned_ = true;
      }
      ready_.notify_all();
      return false;
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  const std::vector<SBand> first_;
  const std::vector<SBand> second_;
  std::vector<char> first_done_;
  size_t next_first_ = 0;
  size_t next_second_ = 0;
  size_t first_prefix_ = 0;
  int32_t source_ready_ = 0;
  int32_t mid_ready_ = 0;
  bool abandoned_ = false;
  std::exception_ptr error_;
};

// Writes a zero into every page of the rows, which are about to be
// overwritten anyway, so that the system maps fresh memory here and not in
// the middle of a pass.
void PreferLargePages(const SImageView& view) {
  if (view.width <= 0 || view.height <= 0) return;
  const uint8_t* first = view.Row(0);
  const uint8_t* last = view.Row(view.height - 1);
  uint8_t* low = const_cast<uint8_t*>(first < last ? first : last);
  const uint8_t* high = (first < last ? last : first) + 4 * static_cast<ptrdiff_t>(view.width);
  Detail::PreferLargePages(low, static_cast<size_t>(high - low));
}

void TouchPages(const SImageView& view) {
  constexpr ptrdiff_t kPage = 4096;
  const ptrdiff_t row_bytes = 4 * static_cast<ptrdiff_t>(view.width);
  for (int32_t y = 0; y < view.height; ++y) {
    uint8_t* row = view.Row(y);
    for (ptrdiff_t i = 0; i < row_bytes; i += kPage) row[i] = 0;
    row[row_bytes - 1] = 0;
  }
}

}  // namespace

void ResampleViewsWhileFilling(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                               const SImageView& dst, const SPassKernels& kernels, bool threads,
                               int32_t first_row, const PlaneFill& fill) {
  const int processors = threads ? ProcessorCount() : 1;
  const int32_t w = src.width;
  const int32_t h = src.height;
  if (processors <= 1 || w <= 0 || h <= 0 || dst.width <= 0 || dst.height <= 0) {
    // Nobody to overlap with: fill, then resample as usual.
    fill([](int32_t) {});
    ResampleViews(filter, keep_alpha, src, dst, kernels, threads);
    return;
  }

  const bool vertical_first = VerticalPassFirst(w, h, dst.width, dst.height);
  const int32_t mid_width = vertical_first ? w : dst.width;
  const int32_t mid_height = vertical_first ? dst.height : h;
  CMemoryPlane32 mid_plane;
  const PassKernel first_kernel = vertical_first ? kernels.vertical : kernels.horizontal;
  const PassKernel second_kernel = vertical_first ? kernels.horizontal : kernels.vertical;

  // Everything the passes need is made by the first worker while the
  // caller starts filling: the tables and fresh pages take time the
  // decoder does not have to wait for.
  std::mutex setup_lock;
  std::condition_variable setup_done;
  bool ready = false;
  std::exception_ptr setup_error;
  int32_t early_rows = 0;
  std::optional<STapPlan> first_plan;
  std::optional<STapPlan> second_plan;
  std::optional<CBandSchedule> schedule;
  SImageView mid{};
  const auto set_up = [&] {
    try {
      mid_plane.SetSize(PlaneSize{mid_width, mid_height});
      const PlaneBits bits = mid_plane.LockBits();
      mid = SImageView{bits.bits, bits.step, mid_width, mid_height};
      mid_plane.UnlockBits();
      PreferLargePages(mid);
      PreferLargePages(dst);
      first_plan.emplace(vertical_first ? MakePlan(filter, h, dst.height)
                                        : MakePlan(filter, w, dst.width));
      second_plan.emplace(vertical_first ? MakePlan(filter, w, dst.width)
                                         : MakePlan(filter, h, dst.height));
      schedule.emplace(MakeBands(mid_height, kFirstPassBand, !vertical_first, *first_plan),
                       MakeBands(dst.height, kSecondPassBand, vertical_first, *second_plan));
      // Before any band runs: these writes would race with the passes.
      TouchPages(mid);
      TouchPages(dst);
    } catch (...) {
      setup_error = std::current_exception();
    }
    std::lock_guard lock(setup_lock);
    if (schedule && !setup_error) schedule->SourceReady(early_rows);
    ready = true;
    setup_done.notify_all();
  };
  const auto wait_for_setup = [&] {
    std::unique_lock lock(setup_lock);
    setup_done.wait(lock, [&] { return ready; });
    return !setup_error;
  };
  const RowsReady rows_ready = [&](int32_t rows) {
    rows = std::min(rows - first_row, h);
    std::lock_guard lock(setup_lock);
    if (ready) {
      if (!setup_error) schedule->SourceReady(rows);
    } else {
      early_rows = std::max(early_rows, rows);
    }
  };
  const auto run_first = [&](int32_t begin, int32_t end) {
    first_kernel(*first_plan, src, mid, begin, end, keep_alpha);
  };
  const auto run_second = [&](int32_t begin, int32_t end) {
    second_kernel(*second_plan, mid, dst, begin, end, keep_alpha);
  };

  // Helpers are borrowed up front: one found missing later would leave
  // the others waiting for rows forever.
  std::vector<std::shared_ptr<WorkerThreadController>> helpers;
  try {
    for (int i = 0; i < processors - 1; ++i) helpers.push_back(WorkerThreadController::Acquire());
  } catch (const std::exception&) {
  }
  if (helpers.empty()) {
    fill([](int32_t) {});
    ResampleViews(filter, keep_alpha, src, dst, kernels, false);
    return;
  }

  // The decoder writes every row of the source, soon.
  PreferLargePages(src);

  // The caller fills the source and then helps; the first helper sets up;
  // all take bands as rows become ready.
  bool setting_up = false;
  std::exception_ptr fill_error;
  try {
    for (size_t i = 0; i < helpers.size(); ++i) {
      helpers[i]->Post([&, first = i == 0] {
        if (first) set_up();
        if (wait_for_setup()) schedule->Work(run_first, run_second);
      });
      if (i == 0) setting_up = true;
    }
    fill(rows_ready);
    rows_ready(first_row + h);
  } catch (...) {
    fill_error = std::current_exception();
  }
  if (fill_error) {
    if (setting_up && wait_for_setup()) schedule->Abandon();
    helpers.clear();  // waits for them
    std::rethrow_exception(fill_error);
  }
  if (wait_for_setup()) schedule->Work(run_first, run_second);
  helpers.clear();
  if (setup_error) std::rethrow_exception(setup_error);
  if (const std::exception_ptr band_error = schedule->Error()) {
    std::rethrow_exception(band_error);
  }
}

}  // namespace Detail

void ResampleLanczosWhileFilling(CPlane32& dest, CPlane32& source, const PlaneRect& dest_rect,
                                 const PlaneRect& source_rect, const PlaneClip& clip,
                                 const PlaneFill& fill) {
  PlaneRect d = dest_rect;
  PlaneRect s = source_rect;
  if (!Detail::ClipScaled(d, s, dest.GetSize(), source.GetSize(), clip)) {
    fill([](int32_t) {});
    return;
  }
  const PlaneBitsLock source_bits(source);
  const PlaneBitsLock dest_bits(dest);
  const Detail::SImageView src{source_bits.Row(s.top) + 4 * static_cast<ptrdiff_t>(s.left),
                               source_bits.Step(), s.right - s.left, s.bottom - s.top};
  const Detail::SImageView dst{dest_bits.Row(d.top) + 4 * static_cast<ptrdiff_t>(d.left),
                               dest_bits.Step(), d.right - d.left, d.bottom - d.top};
  Detail::ResampleViewsWhileFilling(Detail::ResampleFilter::kLanczos, false, src, dst,
                                    Detail::PassKernelsFor(ActiveSimdLevel()),
                                    ResampleThreadsEnabled(), s.top, fill);
}

}  // namespace Orvex
