#include "foundation/parallel_for.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/fault_translation.h"
#include "foundation/processor_count.h"
#include "foundation/worker_thread_controller.h"

namespace Orvex {
namespace {

struct Call {
  int32_t first, end;
  std::thread::id thread;
  bool operator<(const Call& o) const {
    return first < o.first || (first == o.first && end < o.end);
  }
};

// Runs ParallelFor and reports every call of the job, ordered by range.
std::vector<Call> RecordCalls(int32_t first, int32_t end, int threads) {
  std::mutex lock;
  std::vector<Call> calls;
  ParallelFor(
      [&](int32_t a, int32_t b) {
        std::lock_guard guard(lock);
        calls.push_back({a, b, std::this_thread::get_id()});
      },
      first, end, threads);
  std::stable_sort(calls.begin(), calls.end());
  return calls;
}

std::vector<std::pair<int32_t, int32_t>> Ranges(const std::vector<Call>& calls) {
  std::vector<std::pair<int32_t, int32_t>> ranges;
  for (const Call& c : calls) ranges.emplace_back(c.first, c.end);
  return ranges;
}

using RangeList = std::vector<std::pair<int32_t, int32_t>>;

TEST(ParallelForTest, BlocksOfEqualSizeWithTheRemainderOnTheCaller) {
  const std::thread::id me = std::this_thread::get_id();

  std::vector<Call> calls = RecordCalls(0, 10, 4);
  EXPECT_EQ(Ranges(calls), (RangeList{{0, 2}, {2, 4}, {4, 6}, {6, 10}}));
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[3].thread, me);
  // Three workers, each its own thread and none of them the caller.
  std::set<std::thread::id> workers = {calls[0].thread, calls[1].thread, calls[2].thread};
  EXPECT_EQ(workers.size(), 3u);
  EXPECT_EQ(workers.count(me), 0u);

  // Fewer rows than threads: the workers get nothing to do.
  calls = RecordCalls(0, 3, 4);
  EXPECT_EQ(Ranges(calls), (RangeList{{0, 0}, {0, 0}, {0, 0}, {0, 3}}));
  EXPECT_EQ(calls.back().thread, me);

  calls = RecordCalls(5, 17, 3);
  EXPECT_EQ(Ranges(calls), (RangeList{{5, 9}, {9, 13}, {13, 17}}));

  // One thread: a single call on the caller, no worker involved.
  calls = RecordCalls(0, 1000, 1);
  EXPECT_EQ(Ranges(calls), (RangeList{{0, 1000}}));
  EXPECT_EQ(calls[0].thread, me);

  // Reversed and extreme ranges.
  for (const Call& c : RecordCalls(10, 2, 3)) EXPECT_EQ(c.first, c.end);
  calls = RecordCalls(INT32_MIN, INT32_MAX, 2);
  EXPECT_EQ(Ranges(calls), (RangeList{{INT32_MIN, -1}, {-1, INT32_MAX}}));
}

TEST(ParallelForTest, EveryRowIsDoneExactlyOnce) {
  for (int threads = 1; threads <= 9; ++threads) {
    for (int rows : {0, 1, 2, 7, 8, 9, 64, 1001}) {
      const int32_t first = rows % 5;  // ranges need not start at 0
      std::vector<std::atomic<int>> done(first + rows);
      ParallelFor(
          [&](int32_t a, int32_t b) {
            for (int32_t y = a; y < b; ++y) done[y].fetch_add(1);
          },
          first, first + rows, threads);
      for (int32_t y = first; y < first + rows; ++y) {
        ASSERT_EQ(done[y].load(), 1) << "row " << y << ", " << threads << " threads";
      }
    }
  }
}

TEST(ParallelForTest, DefaultSplitsOneBlockPerProcessor) {
  const int p = ProcessorCount();
  EXPECT_EQ(RecordCalls(0, 100 * p, p).size(), static_cast<size_t>(p));
  std::atomic<int> calls = 0;
  ParallelFor([&](int32_t, int32_t) { ++calls; }, 0, 100 * p);
  EXPECT_EQ(calls.load(), p);
}

TEST(ParallelForTest, ProcessorCountIsPositiveAndStable) {
  const int p = ProcessorCount();
  EXPECT_GE(p, 1);
  EXPECT_EQ(ProcessorCount(), p);
  if (std::thread::hardware_concurrency() != 0) {
    EXPECT_EQ(p, static_cast<int>(std::thread::hardware_concurrency()));
  }
}

TEST(ParallelForTest, ConsecutiveCallsReuseTheSameWorkers) {
  RecordCalls(0, 100, 4);  // make sure three workers are idle in the pool
  const size_t idle_before = GetWorkerThreadPool().IdleCount();
  std::set<std::thread::id> workers;
  const std::thread::id me = std::this_thread::get_id();
  for (int i = 0; i < 200; ++i) {
    for (const Call& c : RecordCalls(0, 100, 4)) {
      if (c.thread != me) workers.insert(c.thread);
    }
  }
  EXPECT_EQ(workers.size(), 3u);
  EXPECT_EQ(GetWorkerThreadPool().IdleCount(), idle_before);
}

TEST(ParallelForTest, AWorkersExceptionReachesTheCallerAfterEveryBlockFinished) {
  std::atomic<int> rows_done = 0;
  try {
    ParallelFor(
        [&](int32_t a, int32_t b) {
          if (a == 0) throw std::runtime_error("block 0 failed");
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          rows_done += b - a;
        },
        0, 40, 4);
    FAIL() << "the worker's exception was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "block 0 failed");
  }
  EXPECT_EQ(rows_done.load(), 30);

  // Several failing blocks: one exception, from one of them.
  EXPECT_THROW(ParallelFor(
                   [](int32_t a, int32_t) {
                     if (a < 30) throw std::logic_error("worker");
                   },
                   0, 40, 4),
               std::logic_error);
}

TEST(ParallelForTest, TheCallersExceptionWinsAndWaitsForTheWorkers) {
  std::atomic<int> rows_done = 0;
  try {
    ParallelFor(
        [&](int32_t a, int32_t b) {
          if (a == 30) throw std::invalid_argument("caller");
          if (a == 0) throw std::runtime_error("worker");
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          rows_done += b - a;
        },
        0, 40, 4);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "caller");
  }
  // The workers' rows were finished before the exception came out.
  EXPECT_EQ(rows_done.load(), 20);
}

TEST(ParallelForTest, ThePoolStaysUsableAfterFailures) {
  for (int i = 0; i < 20; ++i) {
    EXPECT_THROW(ParallelFor([](int32_t, int32_t) { throw std::runtime_error("x"); }, 0, 8, 4),
                 std::runtime_error);
  }
  std::vector<std::atomic<int>> done(1000);
  ParallelFor(
      [&](int32_t a, int32_t b) {
        for (int32_t y = a; y < b; ++y) ++done[y];
      },
      0, 1000, 4);
  EXPECT_TRUE(std::all_of(done.begin(), done.end(), [](const auto& d) { return d == 1; }));
}

int* volatile g_null = nullptr;
// The fault is deliberate: keep the sanitizers from reporting it first.
__attribute__((noinline, no_sanitize("undefined"))) void WriteThroughNull() { *g_null = 1; }

TEST(ParallelForTest, AFaultInAWorkerBlockReachesTheCallerAsAnException) {
  ASSERT_TRUE(AreExceptionTranslatorsInstalled());
  void (*volatile fault)() = &WriteThroughNull;
  for (int round = 0; round < 3; ++round) {
    EXPECT_THROW(ParallelFor(
                     [&](int32_t a, int32_t) {
                       if (a == 0) fault();
                     },
                     0, 8, 4),
                 AccessViolationException);
  }
  std::atomic<int> rows = 0;
  ParallelFor([&](int32_t a, int32_t b) { rows += b - a; }, 0, 8, 4);
  EXPECT_EQ(rows.load(), 8);
}

TEST(ParallelForTest, NestedAndConcurrentCalls) {
  constexpr int kRows = 60, kCols = 50;
  std::vector<std::atomic<int>> cells(kRows * kCols);
  ParallelFor(
      [&](int32_t a, int32_t b) {
        for (int32_t y = a; y < b; ++y) {
          ParallelFor(
              [&, y](int32_t c, int32_t d) {
                for (int32_t x = c; x < d; ++x) ++cells[y * kCols + x];
              },
              0, kCols, 3);
        }
      },
      0, kRows, 3);
  for (int i = 0; i < kRows * kCols; ++i) ASSERT_EQ(cells[i].load(), 1) << i;

  std::vector<std::atomic<long>> sums(4);
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        ParallelFor(
            [&](int32_t a, int32_t b) {
              for (int32_t y = a; y < b; ++y) sums[t] += y;
            },
            0, 100, 3);
      }
    });
  }
  for (std::thread& c : callers) c.join();
  for (const auto& s : sums) EXPECT_EQ(s.load(), 50 * 4950);
}

}  // namespace
}  // namespace Orvex
