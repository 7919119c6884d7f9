#include "imaging/resample_stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <exception>
#include <limits>
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
// piece costs nothing next to computing it. The second size divides the
// first, so that no band of either pass straddles the end of the ring
// between them.
constexpr int32_t kFirstPassBand = 16;
constexpr int32_t kSecondPassBand = 8;
// Rows each ring holds beyond what the taps need, so that the decoder and
// the passes do not wait for each other band by band.
constexpr int32_t kSlackRows = 2 * kFirstPassBand;

constexpr int64_t kNoRowNeeded = std::numeric_limits<int64_t>::max() / 2;

struct SBand {
  int32_t begin;
  int32_t end;
  // Every input row that this band or a later one reads is at least
  // `first`; every one that this band or an earlier one reads is below
  // `needs`.
  int32_t first;
  int32_t needs;
};

// Cuts the rows of a pass into bands. A horizontal pass (no plan) reads
// the same rows it writes; a vertical pass reads the rows its taps name,
// padding taps included.
std::vector<SBand> MakeBands(int32_t rows, int32_t band_rows, const STapPlan* vertical) {
  std::vector<SBand> bands;
  for (int32_t begin = 0; begin < rows; begin += band_rows) {
    const int32_t end = std::min(rows, begin + band_rows);
    SBand band{begin, end, begin, end};
    if (vertical != nullptr) {
      band.first = std::numeric_limits<int32_t>::max();
      band.needs = 0;
      for (int32_t r = begin; r < end; ++r) {
        const int32_t* idx = vertical->Indices(r);
        for (int32_t j = 0; j < vertical->taps; ++j) {
          band.first = std::min(band.first, idx[j]);
          band.needs = std::max(band.needs, idx[j] + 1);
        }
      }
    }
    bands.push_back(band);
  }
  // Bands are taken in order, so one that needs less than an earlier one
  // must not wait behind it for nothing; and none may get ahead of it.
  for (size_t i = 1; i < bands.size(); ++i) {
    bands[i].needs = std::max(bands[i].needs, bands[i - 1].needs);
  }
  for (size_t i = bands.size(); i-- > 1;) {
    bands[i - 1].first = std::min(bands[i - 1].first, bands[i].first);
  }
  return bands;
}

// The most input rows one band depends on at once.
int32_t Span(const std::vector<SBand>& bands) {
  int32_t span = 0;
  for (const SBand& band : bands) span = std::max(span, band.needs - band.first);
  return span;
}

// Rows of one width in a plane of `rows` rows, row y kept in row y % rows.
struct SRing {
  CMemoryPlane32 plane;
  uint8_t* bits = nullptr;
  ptrdiff_t step = 0;
  int32_t rows = 0;

  void Allocate(int32_t width, int32_t height) {
    plane.SetSize(PlaneSize{width, height});
    const PlaneBits locked = plane.LockBits();
    bits = locked.bits;
    step = locked.step;
    plane.UnlockBits();
    rows = height;
  }
  uint8_t* Row(int64_t y) const { return bits + step * static_cast<ptrdiff_t>(y % rows); }
};

// Thrown into the writer of the rows once the resampling has failed, to
// stop it; the caller then sees the resampling's own exception.
class StreamAbandoned : public std::exception {
 public:
  const char* what() const noexcept override { return "resampling abandoned"; }
};

// Hands out the bands of both passes to whichever thread asks, each as
// soon as it may run: a first-pass band once the source rows it reads have
// arrived and the intermediate rows it writes are no longer read, a
// second-pass band once the intermediate rows it reads are done. Source
// rows are kept until no first-pass band reads them any more. Nothing is
// handed out before SetUp has brought the second pass's bands.
class CRingSchedule {
 public:
  CRingSchedule(std::vector<SBand> first, bool dest_ready)
      : first_(std::move(first)), first_done_(first_.size(), 0), dest_ready_(dest_ready) {}

  // The second pass's bands, the rows of the ring between the passes and
  // those of the ring the destination is made in (0: none, the
  // destination is whole).
  void SetUp(std::vector<SBand> second, int32_t mid_rows, int32_t dest_rows) {
    {
      std::lock_guard lock(mutex_);
      second_ = std::move(second);
      second_done_.assign(second_.size(), 0);
      mid_rows_ = mid_rows;
      dest_rows_ = dest_rows;
      set_up_ = true;
    }
    ready_.notify_all();
  }

  // Ends the schedule for every thread with the exception.
  void Fail(std::exception_ptr error) {
    {
      std::lock_guard lock(mutex_);
      if (!error_) error_ = std::move(error);
      abandoned_ = true;
    }
    ready_.notify_all();
  }

  void SourceReady(int32_t rows) {
    {
      std::lock_guard lock(mutex_);
      if (rows <= source_ready_) return;
      source_ready_ = rows;
    }
    ready_.notify_all();
  }

  // The destination may be written from now on.
  void DestReady() {
    {
      std::lock_guard lock(mutex_);
      dest_ready_ = true;
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

  // Works bands until none is left to take; false when the schedule was
  // abandoned. A band that throws leaves rows unwritten that later bands
  // would wait for, so it ends the schedule for every thread; its
  // exception, the first if several threw, is kept for Error.
  template <class First, class Second>
  bool Work(const First& run_first, const Second& run_second) {
    return WorkUntil(run_first, run_second, true, [] { return false; });
  }

  // Works bands, or waits for other threads to, until no first-pass band
  // reads source rows from `row` on any more; returns the lowest source
  // row still read then, or throws StreamAbandoned.
  template <class First, class Second>
  int64_t WorkUntilSourceFree(const First& run_first, const Second& run_second, int64_t row) {
    if (!WorkUntil(run_first, run_second, false, [&] { return SourceLow() > row; })) {
      throw StreamAbandoned();
    }
    std::lock_guard lock(mutex_);
    return SourceLow();
  }

  // The lowest source row a band reads, without waiting.
  int64_t LowestSourceRowRead() {
    std::lock_guard lock(mutex_);
    return SourceLow();
  }

  // The exception of the first band that failed, if any.
  std::exception_ptr Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  // The lowest source row that a band still to finish reads; past every
  // row once all have finished. With the lock held.
  int64_t SourceLow() const {
    return first_prefix_ < first_.size() ? first_[first_prefix_].first : kNoRowNeeded;
  }
  // The same for the intermediate rows and the second pass.
  int64_t MidLow() const {
    return second_prefix_ < second_.size() ? second_[second_prefix_].first : kNoRowNeeded;
  }
  // The first destination row whose band is not done.
  int64_t DestLow() const {
    return second_prefix_ < second_.size() ? second_[second_prefix_].begin : kNoRowNeeded;
  }

  template <class First, class Second, class Until>
  bool WorkUntil(const First& run_first, const Second& run_second, bool stop_when_all_taken,
                 const Until& until) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (abandoned_) return false;
      if (until()) return true;
      if (!set_up_) {
        ready_.wait(lock);
        continue;
      }
      if (next_first_ < first_.size() && first_[next_first_].needs <= source_ready_ &&
          first_[next_first_].end <= MidLow() + mid_rows_) {
        const size_t band = next_first_++;
        lock.unlock();
        if (!Run(run_first, first_[band])) return false;
        lock.lock();
        Complete(first_done_, first_prefix_, band);
        mid_ready_ = first_prefix_ > 0 ? first_[first_prefix_ - 1].end : 0;
        continue;
      }
      if (dest_ready_ && next_second_ < second_.size() &&
          second_[next_second_].needs <= mid_ready_ &&
          (dest_rows_ == 0 || second_[next_second_].end <= DestLow() + dest_rows_)) {
        const size_t band = next_second_++;
        lock.unlock();
        if (!Run(run_second, second_[band])) return false;
        lock.lock();
        Complete(second_done_, second_prefix_, band);
        continue;
      }
      if (stop_when_all_taken && next_first_ == first_.size() && next_second_ == second_.size()) {
        return true;
      }
      ready_.wait(lock);
    }
  }

  // With the lock held: every band done frees rows or makes some ready.
  void Complete(std::vector<char>& done, size_t& prefix, size_t band) {
    done[band] = 1;
    while (prefix < done.size() && done[prefix]) ++prefix;
    ready_.notify_all();
  }

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
  std::vector<SBand> second_;
  std::vector<char> first_done_;
  std::vector<char> second_done_;
  int32_t mid_rows_ = 0;
  int32_t dest_rows_ = 0;
  bool set_up_ = false;
  size_t next_first_ = 0;
  size_t next_second_ = 0;
  size_t first_prefix_ = 0;
  size_t second_prefix_ = 0;
  int32_t source_ready_ = 0;
  int32_t mid_ready_ = 0;
  bool dest_ready_;
  bool abandoned_ = false;
  std::exception_ptr error_;
};

// Writes a zero into every page of the rows, which are about to be
// overwritten anyway, so that the system maps fresh memory before the
// second pass gets there rather than in the middle of it.
void TouchPages(const SImageView& view) {
  if (view.width <= 0 || view.height <= 0) return;
  const uint8_t* first = view.Row(0);
  const uint8_t* last = view.Row(view.height - 1);
  uint8_t* low = const_cast<uint8_t*>(first < last ? first : last);
  const uint8_t* high = (first < last ? last : first) + 4 * static_cast<ptrdiff_t>(view.width);
  PreferLargePages(low, static_cast<size_t>(high - low));
  constexpr ptrdiff_t kPage = 4096;
  const ptrdiff_t row_bytes = 4 * static_cast<ptrdiff_t>(view.width);
  for (int32_t y = 0; y < view.height; ++y) {
    uint8_t* row = view.Row(y);
    for (ptrdiff_t i = 0; i < row_bytes; i += kPage) row[i] = 0;
    row[row_bytes - 1] = 0;
  }
}

// The sink the picture's writer fills: the source ring. A row whose slot
// still holds a row that some first-pass band reads waits until that band
// is done, and the waiting thread computes bands meanwhile.
template <class First, class Second>
class CSourceRing final : public IRowSink {
 public:
  CSourceRing(const SRing& ring, const PlaneSize& picture, const PlaneRect& source_rect,
              CRingSchedule& schedule, const First& run_first, const Second& run_second,
              const RowObserver& observe)
      : ring_(ring),
        picture_(picture),
        rect_(source_rect),
        schedule_(schedule),
        run_first_(run_first),
        run_second_(run_second),
        observe_(observe),
        writable_below_(int64_t{source_rect.top} + ring.rows) {}

  uint8_t* RowFor(int32_t y) override {
    // Row y takes the slot of row y - rows, which must be past every row a
    // band still reads.
    if (y >= writable_below_) {
      const int64_t low = schedule_.WorkUntilSourceFree(run_first_, run_second_,
                                                        int64_t{y} - rect_.top - ring_.rows);
      writable_below_ = low + rect_.top + ring_.rows;
    }
    return ring_.Row(y);
  }

  void RowsDone(int32_t rows) override {
    rows = std::min(rows, picture_.height);
    if (rows <= observed_) return;
    if (observe_) {
      for (int32_t y = observed_; y < rows; ++y) observe_(y, ring_.Row(y));
    }
    observed_ = rows;
    schedule_.SourceReady(std::clamp(rows - rect_.top, 0, rect_.bottom - rect_.top));
  }

 private:
  const SRing& ring_;
  const PlaneSize picture_;
  const PlaneRect rect_;
  CRingSchedule& schedule_;
  const First& run_first_;
  const Second& run_second_;
  const RowObserver& observe_;
  int64_t writable_below_;
  int32_t observed_ = 0;
};

}  // namespace

void ResampleRows(ResampleFilter filter, bool keep_alpha, const PlaneSize& picture,
                  const PlaneRect& source_rect, const SImageView& dst, const SPassKernels& kernels,
                  bool threads, const RowSource& rows, const RowObserver& observe,
                  const BandRows& take) {
  const PlaneRect s = source_rect;
  const int32_t sw = s.right - s.left;
  const int32_t sh = s.bottom - s.top;
  const bool draws = sw > 0 && sh > 0 && dst.width > 0 && dst.height > 0;

  // Before the first row only the source ring must exist, which needs
  // only the first pass's bands; the tap tables of the horizontal pass and
  // of the second pass take time the writer does not wait for: a helper
  // makes them (set_up) while the first rows are decoded. Where nothing is
  // drawn the rows still pass by, for the observer.
  int32_t source_rows = IRowSink::kRowsInHand;
  bool vertical_first = false;
  int32_t mid_width = 0;
  int32_t mid_height = 0;
  std::vector<SBand> first_bands;
  std::optional<STapPlan> vertical_plan;
  if (draws) {
    vertical_first = VerticalPassFirst(sw, sh, dst.width, dst.height);
    mid_width = vertical_first ? sw : dst.width;
    mid_height = vertical_first ? dst.height : sh;
    if (vertical_first) vertical_plan.emplace(MakePlan(filter, sh, dst.height));
    first_bands = MakeBands(mid_height, kFirstPassBand, vertical_first ? &*vertical_plan : nullptr);
    // What one first-pass band reads, the rows the writer may have in hand
    // and some slack.
    source_rows = Span(first_bands) + IRowSink::kRowsInHand + kSlackRows;
  }
  source_rows = std::max(1, std::min(source_rows, picture.height));
  SRing source;
  source.Allocate(std::max(1, picture.width), source_rows);

  const int processors = threads && draws ? ProcessorCount() : 1;
  std::vector<STapPlan> first_plans;
  std::vector<STapPlan> second_plans;
  SRing mid;
  SRing out;
  CRingSchedule schedule(first_bands, false);
  const auto set_up = [&] {
    std::vector<SBand> second_bands;
    if (vertical_first) {
      // The vertical pass gets its taps band by band, numbered from the
      // band's first row and pointing into the ring it reads.
      for (const SBand& band : first_bands) {
        first_plans.emplace_back(*vertical_plan, band.begin, band.end, s.top, source_rows);
      }
      second_plans.push_back(MakePlan(filter, sw, dst.width));
      second_bands = MakeBands(dst.height, kSecondPassBand, nullptr);
    } else {
      first_plans.push_back(MakePlan(filter, sw, dst.width));
      vertical_plan.emplace(MakePlan(filter, sh, dst.height));
      second_bands = MakeBands(dst.height, kSecondPassBand, &*vertical_plan);
    }
    // What one second-pass band reads, one first-pass band and some slack,
    // in whole first-pass bands so that no band straddles the ring's end.
    int32_t mid_rows = (Span(second_bands) + 2 * kFirstPassBand + kSlackRows - 1) / kFirstPassBand *
                       kFirstPassBand;
    mid_rows = std::min(mid_rows, mid_height);
    mid.Allocate(mid_width, mid_rows);
    if (!vertical_first) {
      for (const SBand& band : second_bands) {
        second_plans.emplace_back(*vertical_plan, band.begin, band.end, 0, mid_rows);
      }
    }
    // A destination made in a ring has room for a band on every thread
    // and one more.
    int32_t dest_rows = 0;
    if (take) {
      dest_rows = std::min(dst.height, kSecondPassBand * (processors + 1));
      out.Allocate(dst.width, dest_rows);
    }
    schedule.SetUp(std::move(second_bands), mid_rows, dest_rows);
  };

  const auto run_first = [&](int32_t begin, int32_t end) {
    const int32_t n = end - begin;
    if (vertical_first) {
      const SImageView in{source.bits + 4 * static_cast<ptrdiff_t>(s.left), source.step, sw,
                          source.rows};
      const SImageView out{mid.Row(begin), mid.step, mid_width, n};
      kernels.vertical(first_plans[begin / kFirstPassBand], in, out, 0, n, keep_alpha);
      return;
    }
    // The band's rows may wrap around the end of the source ring.
    for (int32_t r = begin; r < end;) {
      const int64_t y = int64_t{s.top} + r;
      const auto rows_here =
          static_cast<int32_t>(std::min<int64_t>(end - r, source.rows - y % source.rows));
      const SImageView in{source.Row(y) + 4 * static_cast<ptrdiff_t>(s.left), source.step, sw,
                          rows_here};
      const SImageView out{mid.Row(r), mid.step, mid_width, rows_here};
      kernels.horizontal(first_plans[0], in, out, 0, rows_here, keep_alpha);
      r += rows_here;
    }
  };
  const auto run_second = [&](int32_t begin, int32_t end) {
    const int32_t n = end - begin;
    const SImageView made = take ? SImageView{out.Row(begin), out.step, dst.width, n}
                                 : SImageView{dst.Row(begin), dst.step, dst.width, n};
    if (vertical_first) {
      const SImageView in{mid.Row(begin), mid.step, mid_width, n};
      kernels.horizontal(second_plans[0], in, made, 0, n, keep_alpha);
    } else {
      const SImageView in{mid.bits, mid.step, mid_width, mid.rows};
      kernels.vertical(second_plans[begin / kSecondPassBand], in, made, 0, n, keep_alpha);
    }
    if (take) take(begin, end, made);
  };

  // Helpers are borrowed up front: one found missing later would leave
  // the others waiting for rows forever.
  std::vector<std::shared_ptr<WorkerThreadController>> helpers;
  try {
    for (int i = 0; i < processors - 1; ++i) helpers.push_back(WorkerThreadController::Acquire());
  } catch (const std::exception&) {
  }
  // Alone, the caller sets up before the first row, and the destination's
  // pages come as the second pass writes them.
  if (helpers.empty()) {
    if (draws) {
      set_up();
    } else {
      schedule.SetUp({}, 1, 0);
    }
    schedule.DestReady();
  }
  CSourceRing sink(source, picture, s, schedule, run_first, run_second, observe);

  std::exception_ptr rows_error;
  try {
    for (size_t i = 0; i < helpers.size(); ++i) {
      helpers[i]->Post([&, first = i == 0] {
        if (first) {
          try {
            set_up();
          } catch (...) {
            schedule.Fail(std::current_exception());
            return;
          }
          // The destination's fresh pages are mapped before the second
          // pass gets there rather than in the middle of it.
          if (!take) TouchPages(dst);
          schedule.DestReady();
        }
        schedule.Work(run_first, run_second);
      });
    }
    rows(sink);
    sink.RowsDone(picture.height);
  } catch (...) {
    rows_error = std::current_exception();
  }
  if (rows_error) {
    schedule.Abandon();
  } else {
    schedule.Work(run_first, run_second);
  }
  helpers.clear();  // waits for them
  if (const std::exception_ptr band_error = schedule.Error()) std::rethrow_exception(band_error);
  if (rows_error) std::rethrow_exception(rows_error);
}

void ResampleViewsWhileFilling(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                               const SImageView& dst, const SPassKernels& kernels, bool threads,
                               int32_t first_row, const PlaneFill& fill) {
  const PlaneSize picture{std::max(0, src.width), std::max(0, src.height)};
  ResampleRows(
      filter, keep_alpha, picture, PlaneRect{0, 0, picture.width, picture.height}, dst, kernels,
      threads,
      [&](IRowSink& sink) {
        // The plane's rows are copied into the stream as they are reported,
        // a band's worth at a time.
        int32_t copied = 0;
        const auto copy_to = [&](int32_t rows) {
          while (copied < rows) {
            const int32_t end = std::min(rows, copied + kFirstPassBand);
            for (; copied < end; ++copied) {
              std::memcpy(sink.RowFor(copied), src.Row(copied),
                          4 * static_cast<size_t>(picture.width));
            }
            sink.RowsDone(copied);
          }
        };
        fill([&](int32_t rows) { copy_to(std::clamp(rows - first_row, 0, picture.height)); });
        copy_to(picture.height);
      },
      {});
}

}  // namespace Detail

void ResampleLanczosRows(CPlane32& dest, const PlaneSize& source_size, const PlaneRect& dest_rect,
                         const PlaneRect& source_rect, const PlaneClip& clip, const RowSource& rows,
                         const RowObserver& observe) {
  PlaneRect d = dest_rect;
  PlaneRect s = source_rect;
  std::optional<PlaneBitsLock> dest_bits;
  Detail::SImageView dst{nullptr, 0, 0, 0};
  if (Detail::ClipScaled(d, s, dest.GetSize(), source_size, clip)) {
    dest_bits.emplace(dest);
    dst = Detail::SImageView{dest_bits->Row(d.top) + 4 * static_cast<ptrdiff_t>(d.left),
                             dest_bits->Step(), d.right - d.left, d.bottom - d.top};
  } else {
    s = PlaneRect{0, 0, 0, 0};
  }
  Detail::ResampleRows(Detail::ResampleFilter::kLanczos, false, source_size, s, dst,
                       Detail::PassKernelsFor(ActiveSimdLevel()), ResampleThreadsEnabled(), rows,
                       observe);
}

void ResampleLanczosRowsTo(const PlaneSize& dest_size, const PlaneSize& source_size,
                           const PlaneRect& source_rect, const RowSource& rows,
                           const DestRows& take, const RowObserver& observe) {
  PlaneRect d{0, 0, dest_size.width, dest_size.height};
  PlaneRect s = source_rect;
  if (!Detail::ClipScaled(d, s, dest_size, source_size, PlaneClip{})) {
    d = PlaneRect{0, 0, 0, 0};
    s = PlaneRect{0, 0, 0, 0};
  }
  const Detail::SImageView dst{nullptr, 0, d.right - d.left, d.bottom - d.top};
  Detail::ResampleRows(
      Detail::ResampleFilter::kLanczos, false, source_size, s, dst,
      Detail::PassKernelsFor(ActiveSimdLevel()), ResampleThreadsEnabled(), rows, observe,
      [&](int32_t begin, int32_t end, const Detail::SImageView& made) {
        take(SDestRows{d.top + begin, end - begin, d.left, made.width, made.bits, made.step});
      });
}

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
