#pragma once

#include <functional>
#include <memory>

#include "foundation/factory.h"
#include "foundation/object_pool.h"
#include "foundation/worker_thread.h"

namespace Orvex {

// The process-wide pool of idle worker threads, created on first use with
// room for 4 x ProcessorCount idle workers and destroyed at process exit.
ObjectPool<WorkerThread>& GetWorkerThreadPool();

// One worker borrowed from a pool. Dropping the controller waits for the
// worker's job and then returns the worker to its pool.
class WorkerThreadController {
 public:
  explicit WorkerThreadController(std::shared_ptr<WorkerThread> worker);
  WorkerThreadController(const WorkerThreadController&) = delete;
  WorkerThreadController& operator=(const WorkerThreadController&) = delete;
  ~WorkerThreadController();

  // Borrows a worker from the process-wide pool, or from the given one.
  static std::shared_ptr<WorkerThreadController> Acquire();
  static std::shared_ptr<WorkerThreadController> Acquire(IFactory<WorkerThread>& pool);

  void Post(std::function<void()> job) { worker_->Post(std::move(job)); }
  void Wait() { worker_->Wait(); }

 private:
  std::shared_ptr<WorkerThread> worker_;
};

}  // namespace Orvex
