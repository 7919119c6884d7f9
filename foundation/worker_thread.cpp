#include "foundation/worker_thread.h"

#include <utility>

#include "foundation/fault_translation.h"

namespace Orvex {

WorkerThread::WorkerThread()
    : slot_(std::make_unique<JobSlot>()), thread_(&WorkerThread::Loop, this) {}

WorkerThread::~WorkerThread() {
  {
    std::lock_guard lock(lock_);
    running_.store(false);
    wake_.notify_all();
  }
  thread_.join();
}

void WorkerThread::Post(std::function<void()> job) {
  Wait();
  slot_->Put(std::move(job));
  std::lock_guard lock(lock_);
  wake_.notify_all();
}

void WorkerThread::Wait() { slot_->Wait(); }

void WorkerThread::Loop() {
  // A thread entry point: nothing may escape from here.
  try {
    // A fault in a job must unwind as an exception here too, not end the
    // process.
    InstallThreadExceptionTranslators();
    while (running_.load()) {
      if (!slot_->IsIdle()) {
        try {
          slot_->Run();
        } catch (...) {
          // Whoever cares about a job's failure catches it inside the job
          // (ParallelFor does); the worker itself must survive it.
        }
        continue;
      }
      std::unique_lock lock(lock_);
      // Posting signals under this lock after making the slot busy, so
      // testing again here cannot miss a wake-up.
      if (running_.load() && slot_->IsIdle()) wake_.wait(lock);
    }
  } catch (...) {
  }
}

}  // namespace Orvex
