#include "foundation/job_slot.h"

#include <utility>

namespace Orvex {

void JobSlot::Put(std::function<void()> job) {
  std::lock_guard lock(lock_);
  job_ = std::move(job);
  ++put_count_;
  idle_.store(false, std::memory_order_release);
}

void JobSlot::Run() {
  std::function<void()> job;
  {
    std::lock_guard lock(lock_);
    runner_ = std::this_thread::get_id();
    job.swap(job_);
  }
  try {
    job();
  } catch (...) {
    // The job's captures go before anyone is told it is done.
    job = nullptr;
    MarkDone();
    throw;
  }
  job = nullptr;
  MarkDone();
}

void JobSlot::MarkDone() {
  std::lock_guard lock(lock_);
  ++done_count_;
  // A job may have put a follow-up into its own slot meanwhile.
  if (!job_) idle_.store(true, std::memory_order_release);
  if (waiting_ > 0) done_.notify_all();
}

void JobSlot::Wait() {
  std::unique_lock lock(lock_);
  if (done_count_ == put_count_ || runner_ == std::this_thread::get_id()) return;
  const uint64_t target = put_count_;
  ++waiting_;
  done_.wait(lock, [&] { return done_count_ >= target; });
  --waiting_;
}

}  // namespace Orvex
