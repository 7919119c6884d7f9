#include "foundation/worker_thread_controller.h"

#include <utility>

#include "foundation/processor_count.h"

namespace Orvex {

ObjectPool<WorkerThread>& GetWorkerThreadPool() {
  static ObjectPool<WorkerThread> pool(4 * ProcessorCount());
  return pool;
}

WorkerThreadController::WorkerThreadController(std::shared_ptr<WorkerThread> worker)
    : worker_(std::move(worker)) {}

WorkerThreadController::~WorkerThreadController() {
  // A worker goes back to the pool only once it has nothing left to do.
  worker_->Wait();
}

std::shared_ptr<WorkerThreadController> WorkerThreadController::Acquire() {
  return Acquire(GetWorkerThreadPool());
}

std::shared_ptr<WorkerThreadController> WorkerThreadController::Acquire(
    IFactory<WorkerThread>& pool) {
  return std::make_shared<WorkerThreadController>(pool.CreateInstance());
}

}  // namespace Orvex
