#include "foundation/parallel_for.h"

#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/processor_count.h"
#include "foundation/worker_thread_controller.h"

namespace Orvex {

void ParallelFor(const RowRangeJob& job, int32_t first, int32_t end, int threads) {
  // A reversed range is an empty one.
  if (end < first) end = first;
  if (threads <= 1) {
    job(first, end);
    return;
  }
  // 64 bits keep the block arithmetic clear of overflow near the ends of
  // the 32-bit range.
  const int64_t rows = int64_t{end} - first;
  const int64_t chunk = rows / threads;
  const auto block_start = [&](int i) { return static_cast<int32_t>(first + i * chunk); };

  // A failed block leaves rows unwritten, so a worker's exception must not
  // vanish: the first one is kept for the caller.
  std::mutex error_lock;
  std::exception_ptr worker_error;
  std::exception_ptr caller_error;
  {
    std::vector<std::shared_ptr<WorkerThreadController>> controllers;
    try {
      controllers.reserve(threads - 1);
      for (int i = 0; i < threads - 1; ++i) {
        controllers.push_back(WorkerThreadController::Acquire());
        const int32_t block_first = block_start(i);
        const int32_t block_end = block_start(i + 1);
        controllers.back()->Post([&job, &error_lock, &worker_error, block_first, block_end] {
          try {
            job(block_first, block_end);
          } catch (...) {
            std::lock_guard lock(error_lock);
            if (!worker_error) worker_error = std::current_exception();
          }
        });
      }
      job(block_start(threads - 1), end);
    } catch (...) {
      caller_error = std::current_exception();
    }
    // Leaving this scope drops the controllers, which waits for every
    // worker's block; the captures above stay valid until then.
  }
  if (caller_error) std::rethrow_exception(caller_error);
  if (worker_error) std::rethrow_exception(worker_error);
}

void ParallelFor(const RowRangeJob& job, int32_t first, int32_t end) {
  ParallelFor(job, first, end, ProcessorCount());
}

}  // namespace Orvex
