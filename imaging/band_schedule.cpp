#include "imaging/band_schedule.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace Orvex::Detail {
namespace {

constexpr int64_t kNoRowNeeded = std::numeric_limits<int64_t>::max() / 2;

}  // namespace

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

int32_t BandSpan(const std::vector<SBand>& bands) {
  int32_t span = 0;
  for (const SBand& band : bands) span = std::max(span, band.needs - band.first);
  return span;
}

CBandSchedule::CBandSchedule(std::vector<SBand> first, IBandPasses& passes)
    : passes_(passes), first_(std::move(first)), first_done_(first_.size(), 0) {}

void CBandSchedule::SetUp(std::vector<SBand> second, int32_t mid_rows, int32_t dest_rows) {
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

void CBandSchedule::Fail(std::exception_ptr error) {
  {
    std::lock_guard lock(mutex_);
    if (!error_) error_ = std::move(error);
    abandoned_ = true;
  }
  ready_.notify_all();
}

void CBandSchedule::SourceReady(int32_t rows) {
  {
    std::lock_guard lock(mutex_);
    if (rows <= source_ready_) return;
    source_ready_ = rows;
  }
  ready_.notify_all();
}

void CBandSchedule::DestReady() {
  {
    std::lock_guard lock(mutex_);
    dest_ready_ = true;
  }
  ready_.notify_all();
}

void CBandSchedule::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  ready_.notify_all();
}

bool CBandSchedule::Work() {
  return WorkUntil(true, [] { return false; });
}

int64_t CBandSchedule::WorkUntilSourceFree(int64_t row) {
  if (!WorkUntil(false, [&] { return SourceLow() > row; })) throw StreamAbandoned();
  std::lock_guard lock(mutex_);
  return SourceLow();
}

std::exception_ptr CBandSchedule::Error() {
  std::lock_guard lock(mutex_);
  return error_;
}

// The lowest source row that a band still to finish reads; past every row
// once all have finished. With the lock held.
int64_t CBandSchedule::SourceLow() const {
  return first_prefix_ < first_.size() ? first_[first_prefix_].first : kNoRowNeeded;
}

// The same for the intermediate rows and the second pass.
int64_t CBandSchedule::MidLow() const {
  return second_prefix_ < second_.size() ? second_[second_prefix_].first : kNoRowNeeded;
}

// The first destination row whose band is not done.
int64_t CBandSchedule::DestLow() const {
  return second_prefix_ < second_.size() ? second_[second_prefix_].begin : kNoRowNeeded;
}

template <class Until>
bool CBandSchedule::WorkUntil(bool stop_when_all_taken, const Until& until) {
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
      if (!Run(true, first_[band])) return false;
      lock.lock();
      Complete(first_done_, first_prefix_, band);
      mid_ready_ = first_prefix_ > 0 ? first_[first_prefix_ - 1].end : 0;
      continue;
    }
    if (dest_ready_ && next_second_ < second_.size() && second_[next_second_].needs <= mid_ready_ &&
        (dest_rows_ == 0 || second_[next_second_].end <= DestLow() + dest_rows_)) {
      const size_t band = next_second_++;
      lock.unlock();
      if (!Run(false, second_[band])) return false;
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
void CBandSchedule::Complete(std::vector<char>& done, size_t& prefix, size_t band) {
  done[band] = 1;
  while (prefix < done.size() && done[prefix]) ++prefix;
  ready_.notify_all();
}

// Runs one band with the lock released; false when it threw.
bool CBandSchedule::Run(bool first_pass, const SBand& band) {
  try {
    if (first_pass) {
      passes_.RunFirst(band.begin, band.end);
    } else {
      passes_.RunSecond(band.begin, band.end);
    }
    return true;
  } catch (...) {
    Fail(std::current_exception());
    return false;
  }
}

}  // namespace Orvex::Detail
