#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace Orvex {

// The one pending job of a worker thread and the means to wait for it.
class JobSlot {
 public:
  JobSlot() = default;
  JobSlot(const JobSlot&) = delete;
  JobSlot& operator=(const JobSlot&) = delete;

  // Puts a job in. The slot holds one pending job: the caller waits for the
  // previous one first.
  void Put(std::function<void()> job);

  // Runs the pending job on the calling thread. What the job throws is
  // passed on (an empty job throws std::bad_function_call); the slot is
  // marked done in every case.
  void Run();

  // Returns when every job put in before the call has finished. Called by
  // the thread that runs the jobs, it returns at once: that thread would
  // otherwise wait for itself.
  void Wait();

  // A hint without locking: no job pending or running.
  bool IsIdle() const { return idle_.load(std::memory_order_acquire); }

 private:
  void MarkDone();

  std::function<void()> job_;
  std::mutex lock_;
  std::condition_variable done_;
  std::atomic<bool> idle_{true};
  int waiting_ = 0;
  // Counting jobs in and out lets a waiter tell its jobs apart from ones
  // put in after it started waiting, and makes it immune to spurious
  // wake-ups.
  uint64_t put_count_ = 0;
  uint64_t done_count_ = 0;
  std::thread::id runner_;
};

}  // namespace Orvex
