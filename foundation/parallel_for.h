#pragma once

#include <cstdint>
#include <functional>

namespace Orvex {

// Work on the rows [first, end) of something, on any thread.
using RowRangeJob = std::function<void(int32_t first, int32_t end)>;

// Splits [first, end) into `threads` contiguous blocks of (end - first) /
// threads rows. The first threads - 1 blocks go to workers borrowed from
// the process-wide pool, the last block, with the remainder, is worked on
// the calling thread. Returns when every block is done. With fewer rows
// than threads the workers get empty ranges and the caller does all rows.
//
// If a block throws, the exception reaches the caller once every block has
// finished: the caller's own exception if its block threw, otherwise the
// first one thrown on a worker. The pool stays usable.
void ParallelFor(const RowRangeJob& job, int32_t first, int32_t end, int threads);

// As above with one block per processor (ProcessorCount).
void ParallelFor(const RowRangeJob& job, int32_t first, int32_t end);

}  // namespace Orvex
