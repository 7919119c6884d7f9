#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

#include "imaging/resample_kernels.h"

namespace Orvex::Detail {

// Rows [begin, end) of one pass of a streamed resampling.
struct SBand {
  int32_t begin;
  int32_t end;
  // Every input row that this band or a later one reads is at least
  // `first`; every one that this band or an earlier one reads is below
  // `needs`.
  int32_t first;
  int32_t needs;
};

// Cuts the rows of a pass into bands of `band_rows`. A horizontal pass (no
// plan) reads the same rows it writes; a vertical pass reads the rows its
// taps name, padding taps included.
std::vector<SBand> MakeBands(int32_t rows, int32_t band_rows, const STapPlan* vertical);

// The most input rows one band depends on at once.
int32_t BandSpan(const std::vector<SBand>& bands);

// What the schedule runs: a band of the first or of the second pass.
class IBandPasses {
 public:
  virtual void RunFirst(int32_t begin, int32_t end) = 0;
  virtual void RunSecond(int32_t begin, int32_t end) = 0;

 protected:
  ~IBandPasses() = default;
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
// handed out before SetUp has brought the second pass's bands, nor a
// second-pass band before DestReady.
class CBandSchedule {
 public:
  CBandSchedule(std::vector<SBand> first, IBandPasses& passes);
  CBandSchedule(const CBandSchedule&) = delete;
  CBandSchedule& operator=(const CBandSchedule&) = delete;

  // The second pass's bands, the rows of the ring between the passes and
  // those of the ring the destination is made in (0: none, the
  // destination is whole).
  void SetUp(std::vector<SBand> second, int32_t mid_rows, int32_t dest_rows);
  // Ends the schedule for every thread with the exception.
  void Fail(std::exception_ptr error);
  // Source rows [0, rows) have arrived.
  void SourceReady(int32_t rows);
  // The destination may be written from now on.
  void DestReady();
  // Ends the schedule for every thread without an exception of its own.
  void Abandon();

  // Works bands until none is left to take; false when the schedule was
  // abandoned. A band that throws leaves rows unwritten that later bands
  // would wait for, so it ends the schedule for every thread; its
  // exception, the first if several threw, is kept for Error.
  bool Work();
  // Works bands, or waits for other threads to, until no first-pass band
  // reads source rows from `row` on any more; returns the lowest source
  // row still read then, or throws StreamAbandoned.
  int64_t WorkUntilSourceFree(int64_t row);

  // The exception of the first band that failed, if any.
  std::exception_ptr Error();

 private:
  int64_t SourceLow() const;
  int64_t MidLow() const;
  int64_t DestLow() const;
  template <class Until>
  bool WorkUntil(bool stop_when_all_taken, const Until& until);
  void Complete(std::vector<char>& done, size_t& prefix, size_t band);
  bool Run(bool first_pass, const SBand& band);

  IBandPasses& passes_;
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
  bool dest_ready_ = false;
  bool abandoned_ = false;
  std::exception_ptr error_;
};

}  // namespace Orvex::Detail
