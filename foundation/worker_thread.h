#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/job_slot.h"

namespace Orvex {

// A thread that sleeps until it is handed a job, runs it and sleeps again,
// from construction until destruction. Jobs run one at a time; one borrower
// at a time posts to it (see WorkerThreadController).
class WorkerThread {
 public:
  WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  // Stops the thread and joins it; a job not yet started is dropped. Must
  // not run on the worker's own thread.
  ~WorkerThread();

  // Hands one job to the worker, first waiting for the previous one. What a
  // job throws is swallowed: the worker keeps serving.
  void Post(std::function<void()> job);

  // Returns when the worker's current job has finished; at once when called
  // from within a job of this worker.
  void Wait();

 private:
  void Loop();

  std::unique_ptr<JobSlot> slot_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::atomic<bool> running_{true};
  std::thread thread_;  // last: starts once everything it uses is built
};

}  // namespace Orvex
