#include "imaging/resample_stream.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "foundation/large_pages.h"
#include "foundation/processor_count.h"
#include "foundation/worker_thread_controller.h"
#include "imaging/band_schedule.h"
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

// The shape of one streamed resampling: which pass runs first, the bands
// of both passes with their taps, and the rows each ring holds. Before the
// first row arrives only the source ring must exist, which needs only the
// first pass's bands (the constructor); the tap tables of the horizontal
// pass and of the second pass take time the writer does not wait for, so
// Finish makes them, on a helper while the first rows are decoded.
struct SStreamPlan {
  explicit SStreamPlan(const SStreamJob& job);
  // `processors` threads compute the bands; with `dest_ring` the
  // destination is made in a ring of its own.
  void Finish(int processors, bool dest_ring);

  ResampleFilter filter;
  PlaneRect source;
  int32_t source_width;
  int32_t source_height;
  int32_t dest_width;
  int32_t dest_height;
  // Where nothing is drawn the rows still pass by, for the observer.
  bool draws;
  bool vertical_first = false;
  int32_t mid_width = 0;
  int32_t mid_height = 0;
  int32_t source_rows = IRowSink::kRowsInHand;
  std::vector<SBand> first_bands;
  std::optional<STapPlan> vertical;

  // Made by Finish.
  std::vector<STapPlan> first_taps;
  std::vector<STapPlan> second_taps;
  std::vector<SBand> second_bands;
  int32_t mid_rows = 0;
  int32_t dest_rows = 0;  // 0: the destination is whole
};

SStreamPlan::SStreamPlan(const SStreamJob& job)
    : filter(job.filter),
      source(job.source_rect),
      source_width(source.right - source.left),
      source_height(source.bottom - source.top),
      dest_width(job.dst.width),
      dest_height(job.dst.height),
      draws(source_width > 0 && source_height > 0 && dest_width > 0 && dest_height > 0) {
  if (draws) {
    vertical_first = VerticalPassFirst(source_width, source_height, dest_width, dest_height);
    mid_width = vertical_first ? source_width : dest_width;
    mid_height = vertical_first ? dest_height : source_height;
    if (vertical_first) vertical.emplace(MakePlan(filter, source_height, dest_height));
    first_bands = MakeBands(mid_height, kFirstPassBand, vertical_first ? &*vertical : nullptr);
    // What one first-pass band reads, the rows the writer may have in hand
    // and some slack.
    source_rows = BandSpan(first_bands) + IRowSink::kRowsInHand + kSlackRows;
  }
  source_rows = std::max(1, std::min(source_rows, job.picture.height));
}

void SStreamPlan::Finish(int processors, bool dest_ring) {
  if (vertical_first) {
    // The vertical pass gets its taps band by band, numbered from the
    // band's first row and pointing into the ring it reads.
    for (const SBand& band : first_bands) {
      first_taps.emplace_back(*vertical, band.begin, band.end, source.top, source_rows);
    }
    second_taps.push_back(MakePlan(filter, source_width, dest_width));
    second_bands = MakeBands(dest_height, kSecondPassBand, nullptr);
  } else {
    first_taps.push_back(MakePlan(filter, source_width, dest_width));
    vertical.emplace(MakePlan(filter, source_height, dest_height));
    second_bands = MakeBands(dest_height, kSecondPassBand, &*vertical);
  }
  // What one second-pass band reads, one first-pass band and some slack,
  // in whole first-pass bands so that no band straddles the ring's end.
  mid_rows = (BandSpan(second_bands) + 2 * kFirstPassBand + kSlackRows - 1) / kFirstPassBand *
             kFirstPassBand;
  mid_rows = std::min(mid_rows, mid_height);
  if (!vertical_first) {
    for (const SBand& band : second_bands) {
      second_taps.emplace_back(*vertical, band.begin, band.end, 0, mid_rows);
    }
  }
  // A destination made in a ring has room for a band on every thread and
  // one more.
  if (dest_ring) dest_rows = std::min(dest_height, kSecondPassBand * (processors + 1));
}

// Maps every page of the rows, which are about to be overwritten anyway,
// so that the system maps fresh memory before the second pass gets there
// rather than in the middle of it: in one call where the system can, else
// by writing a zero into each page.
void TouchPages(const SImageView& view) {
  if (view.width <= 0 || view.height <= 0) return;
  const uint8_t* first = view.Row(0);
  const uint8_t* last = view.Row(view.height - 1);
  uint8_t* low = const_cast<uint8_t*>(first < last ? first : last);
  const uint8_t* high = (first < last ? last : first) + 4 * static_cast<ptrdiff_t>(view.width);
  PreferLargePages(low, static_cast<size_t>(high - low));
  if (PopulatePages(low, static_cast<size_t>(high - low))) return;
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
class CSourceRing final : public IRowSink {
 public:
  CSourceRing(const SRing& ring, const PlaneSize& picture, const PlaneRect& source_rect,
              CBandSchedule& schedule, const RowObserver& observe)
      : ring_(ring),
        picture_(picture),
        rect_(source_rect),
        schedule_(schedule),
        observe_(observe),
        writable_below_(int64_t{source_rect.top} + ring.rows) {}

  uint8_t* RowFor(int32_t y) override {
    // Row y takes the slot of row y - rows, which must be past every row a
    // band still reads.
    if (y >= writable_below_) {
      const int64_t low = schedule_.WorkUntilSourceFree(int64_t{y} - rect_.top - ring_.rows);
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
  CBandSchedule& schedule_;
  const RowObserver& observe_;
  int64_t writable_below_;
  int32_t observed_ = 0;
};

// Runs one streamed resampling to its plan: owns the rings, computes the
// bands the schedule hands out, and drives the writer of the rows on the
// calling thread while helpers work the bands.
class CStreamRunner final : public IBandPasses {
 public:
  CStreamRunner(const SStreamJob& job, const BandRows& take)
      : job_(job),
        take_(take),
        plan_(job),
        processors_(job.threads && plan_.draws ? ProcessorCount() : 1),
        schedule_(plan_.first_bands, *this) {
    source_.Allocate(std::max(1, job.picture.width), plan_.source_rows);
  }
  CStreamRunner(const CStreamRunner&) = delete;
  CStreamRunner& operator=(const CStreamRunner&) = delete;

  void Run(const RowSource& rows, const RowObserver& observe);

  void RunFirst(int32_t begin, int32_t end) override;
  void RunSecond(int32_t begin, int32_t end) override;

 private:
  // The rest of the plan, the ring between the passes and the one the
  // destination is made in; then the schedule may hand out bands.
  void SetUp() {
    plan_.Finish(processors_, static_cast<bool>(take_));
    mid_.Allocate(plan_.mid_width, plan_.mid_rows);
    if (plan_.dest_rows > 0) out_.Allocate(plan_.dest_width, plan_.dest_rows);
    schedule_.SetUp(plan_.second_bands, plan_.mid_rows, plan_.dest_rows);
  }

  const SStreamJob& job_;
  const BandRows& take_;
  SStreamPlan plan_;
  const int processors_;
  SRing source_;
  SRing mid_;
  SRing out_;
  CBandSchedule schedule_;
};

void CStreamRunner::RunFirst(int32_t begin, int32_t end) {
  const int32_t n = end - begin;
  const int32_t sw = plan_.source_width;
  const ptrdiff_t left = 4 * static_cast<ptrdiff_t>(plan_.source.left);
  if (plan_.vertical_first) {
    const SImageView in{source_.bits + left, source_.step, sw, source_.rows};
    const SImageView made{mid_.Row(begin), mid_.step, plan_.mid_width, n};
    job_.kernels.vertical(plan_.first_taps[begin / kFirstPassBand], in, made, 0, n,
                          job_.keep_alpha);
    return;
  }
  // The band's rows may wrap around the end of the source ring.
  for (int32_t r = begin; r < end;) {
    const int64_t y = int64_t{plan_.source.top} + r;
    const auto rows_here =
        static_cast<int32_t>(std::min<int64_t>(end - r, source_.rows - y % source_.rows));
    const SImageView in{source_.Row(y) + left, source_.step, sw, rows_here};
    const SImageView made{mid_.Row(r), mid_.step, plan_.mid_width, rows_here};
    job_.kernels.horizontal(plan_.first_taps[0], in, made, 0, rows_here, job_.keep_alpha);
    r += rows_here;
  }
}

void CStreamRunner::RunSecond(int32_t begin, int32_t end) {
  const int32_t n = end - begin;
  const SImageView& dst = job_.dst;
  const SImageView made = take_ ? SImageView{out_.Row(begin), out_.step, dst.width, n}
                                : SImageView{dst.Row(begin), dst.step, dst.width, n};
  if (plan_.vertical_first) {
    const SImageView in{mid_.Row(begin), mid_.step, plan_.mid_width, n};
    job_.kernels.horizontal(plan_.second_taps[0], in, made, 0, n, job_.keep_alpha);
  } else {
    const SImageView in{mid_.bits, mid_.step, plan_.mid_width, mid_.rows};
    job_.kernels.vertical(plan_.second_taps[begin / kSecondPassBand], in, made, 0, n,
                          job_.keep_alpha);
  }
  if (take_) take_(begin, end, made);
}

void CStreamRunner::Run(const RowSource& rows, const RowObserver& observe) {
  // Helpers are borrowed up front: one found missing later would leave
  // the others waiting for rows forever.
  std::vector<std::shared_ptr<WorkerThreadController>> helpers;
  try {
    for (int i = 0; i < processors_ - 1; ++i) {
      helpers.push_back(WorkerThreadController::Acquire());
    }
  } catch (const std::exception&) {
  }
  // Alone, the caller sets up before the first row, and the destination's
  // pages come as the second pass writes them.
  if (helpers.empty()) {
    if (plan_.draws) {
      SetUp();
    } else {
      schedule_.SetUp({}, 1, 0);
    }
    schedule_.DestReady();
  }
  CSourceRing sink(source_, job_.picture, plan_.source, schedule_, observe);

  std::exception_ptr rows_error;
  try {
    for (size_t i = 0; i < helpers.size(); ++i) {
      helpers[i]->Post([this, first = i == 0] {
        if (first) {
          try {
            SetUp();
          } catch (...) {
            schedule_.Fail(std::current_exception());
            return;
          }
          // The destination's fresh pages are mapped before the second
          // pass gets there rather than in the middle of it.
          if (!take_) TouchPages(job_.dst);
          schedule_.DestReady();
        }
        schedule_.Work();
      });
    }
    rows(sink);
    sink.RowsDone(job_.picture.height);
  } catch (...) {
    rows_error = std::current_exception();
  }
  if (rows_error) {
    schedule_.Abandon();
  } else {
    schedule_.Work();
  }
  helpers.clear();  // waits for them
  if (const std::exception_ptr band_error = schedule_.Error()) std::rethrow_exception(band_error);
  if (rows_error) std::rethrow_exception(rows_error);
}

}  // namespace

void ResampleRows(const SStreamJob& job, const RowSource& rows, const RowObserver& observe,
                  const BandRows& take) {
  CStreamRunner(job, take).Run(rows, observe);
}

void ResampleViewsWhileFilling(ResampleFilter filter, bool keep_alpha, const SImageView& src,
                               const SImageView& dst, const SPassKernels& kernels, bool threads,
                               int32_t first_row, const PlaneFill& fill) {
  const PlaneSize picture{std::max(0, src.width), std::max(0, src.height)};
  ResampleRows(
      SStreamJob{filter, keep_alpha, picture, PlaneRect{0, 0, picture.width, picture.height}, dst,
                 kernels, threads},
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

namespace {

// Lanczos without alpha, as the public calls resample, with the fastest
// kernels and the worker threads unless they are switched off.
Detail::SStreamJob LanczosJob(const PlaneSize& picture, const PlaneRect& source_rect,
                              const Detail::SImageView& dst) {
  return Detail::SStreamJob{Detail::ResampleFilter::kLanczos,
                            false,
                            picture,
                            source_rect,
                            dst,
                            Detail::PassKernelsFor(ActiveSimdLevel()),
                            ResampleThreadsEnabled()};
}

}  // namespace

void ResampleLanczosRows(CPlane32& dest, const PlaneSize& source_size, const PlaneRect& dest_rect,
                         const PlaneRect& source_rect, const PlaneClip& clip, const RowSource& rows,
                         const RowObserver& observe) {
  PlaneRect d = dest_rect;
  PlaneRect s = source_rect;
  std::optional<PlaneBitsLock> dest_bits;
  Detail::SImageView dst{nullptr, 0, 0, 0};
  if (Detail::ClipScaled(d, s, dest.GetSize(), source_size, clip)) {
    dest_bits.emplace(dest);
    dst = Detail::ViewOf(*dest_bits, d);
  } else {
    s = PlaneRect{0, 0, 0, 0};
  }
  Detail::ResampleRows(LanczosJob(source_size, s, dst), rows, observe);
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
      LanczosJob(source_size, s, dst), rows, observe,
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
  Detail::ResampleViewsWhileFilling(Detail::ResampleFilter::kLanczos, false,
                                    Detail::ViewOf(source_bits, s), Detail::ViewOf(dest_bits, d),
                                    Detail::PassKernelsFor(ActiveSimdLevel()),
                                    ResampleThreadsEnabled(), s.top, fill);
}

}  // namespace Orvex
