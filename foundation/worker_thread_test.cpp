#include "foundation/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/object_pool.h"
#include "foundation/processor_count.h"
#include "foundation/worker_thread_controller.h"

namespace Orvex {
namespace {

using std::chrono::milliseconds;

TEST(WorkerThreadTest, RunsJobsInOrderOnItsOwnThreadAndWaitWaitsForThem) {
  WorkerThread worker;
  std::vector<int> order;
  std::thread::id runner;
  worker.Post([&] {
    std::this_thread::sleep_for(milliseconds(30));
    runner = std::this_thread::get_id();
    order.push_back(1);
  });
  // Posting to a busy worker waits for the job before.
  worker.Post([&] { order.push_back(2); });
  worker.Wait();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_NE(runner, std::this_thread::get_id());
  worker.Wait();  // nothing pending: returns at once
}

TEST(WorkerThreadTest, SurvivesThrowingAndEmptyJobs) {
  WorkerThread worker;
  worker.Post([] { throw std::runtime_error("lost"); });
  worker.Wait();
  worker.Post(std::function<void()>());
  worker.Wait();
  std::atomic<bool> ran = false;
  worker.Post([&] { ran = true; });
  worker.Wait();
  EXPECT_TRUE(ran);
}

TEST(WorkerThreadTest, AJobMayWaitForAndPostToItsOwnWorker) {
  WorkerThread worker;
  std::promise<void> finished;
  std::atomic<int> steps = 0;
  worker.Post([&] {
    worker.Wait();  // would wait for itself
    ++steps;
    worker.Post([&] {
      ++steps;
      finished.set_value();
    });
  });
  ASSERT_EQ(finished.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  worker.Wait();
  EXPECT_EQ(steps.load(), 2);
}

TEST(WorkerThreadTest, SeveralThreadsMayWaitForTheSameJob) {
  WorkerThread worker;
  std::atomic<bool> done = false;
  worker.Post([&] {
    std::this_thread::sleep_for(milliseconds(50));
    done = true;
  });
  std::vector<std::thread> waiters;
  std::atomic<int> saw_done = 0;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      worker.Wait();
      if (done) ++saw_done;
    });
  }
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(saw_done.load(), 4);
}

TEST(WorkerThreadTest, StartsAndStopsPromptly) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) {
    WorkerThread worker;
    if (i % 2) worker.Post([] {});
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// Counts live instances so that the tests see what the pool destroys.
struct Tracked {
  static inline std::atomic<int> live = 0;
  Tracked() { ++live; }
  ~Tracked() { --live; }
};

TEST(ObjectPoolTest, LendsTheMostRecentlyReturnedObject) {
  ObjectPool<Tracked> pool;
  std::shared_ptr<Tracked> a = pool.CreateInstance();
  std::shared_ptr<Tracked> b = pool.CreateInstance();
  EXPECT_NE(a, b);
  Tracked* first = a.get();
  Tracked* second = b.get();
  a.reset();
  b.reset();
  EXPECT_EQ(pool.IdleCount(), 2u);
  EXPECT_EQ(pool.CreateInstance().get(), second);
  EXPECT_EQ(pool.CreateInstance().get(), second);  // returned again meanwhile
  std::shared_ptr<Tracked> c = pool.CreateInstance();
  std::shared_ptr<Tracked> d = pool.CreateInstance();
  EXPECT_EQ(c.get(), second);
  EXPECT_EQ(d.get(), first);
  EXPECT_EQ(pool.IdleCount(), 0u);
  EXPECT_EQ(Tracked::live.load(), 2);
}

TEST(ObjectPoolTest, KeepsNoMoreIdleObjectsThanItsCapacity) {
  const int live_before = Tracked::live;
  {
    ObjectPool<Tracked> pool(2);
    std::vector<std::shared_ptr<Tracked>> lent;
    for (int i = 0; i < 5; ++i) lent.push_back(pool.CreateInstance());
    lent.clear();
    EXPECT_EQ(pool.IdleCount(), 2u);
    EXPECT_EQ(Tracked::live - live_before, 2);

    pool.SetCapacity(-1);
    for (int i = 0; i < 5; ++i) lent.push_back(pool.CreateInstance());
    Tracked* oldest = lent[3].get();
    for (int i : {3, 0, 4, 1, 2}) lent[i].reset();
    EXPECT_EQ(pool.IdleCount(), 5u);
    // Trimming keeps the objects that have been idle longest.
    pool.SetCapacity(1);
    EXPECT_EQ(pool.IdleCount(), 1u);
    EXPECT_EQ(Tracked::live - live_before, 1);
    EXPECT_EQ(pool.CreateInstance().get(), oldest);
  }
  EXPECT_EQ(Tracked::live.load(), live_before);
}

TEST(ObjectPoolTest, AnObjectReturnedAfterThePoolIsGoneIsDestroyed) {
  const int live_before = Tracked::live;
  std::shared_ptr<Tracked> survivor;
  {
    ObjectPool<Tracked> pool;
    survivor = pool.CreateInstance();
  }
  EXPECT_EQ(Tracked::live - live_before, 1);
  survivor.reset();
  EXPECT_EQ(Tracked::live.load(), live_before);
}

TEST(WorkerThreadControllerTest, DroppingItWaitsThenReturnsTheWorker) {
  ObjectPool<WorkerThread> pool;
  std::atomic<bool> done = false;
  auto controller = WorkerThreadController::Acquire(pool);
  controller->Post([&] {
    std::this_thread::sleep_for(milliseconds(50));
    done = true;
  });
  controller.reset();
  EXPECT_TRUE(done);
  EXPECT_EQ(pool.IdleCount(), 1u);

  // The worker survives its owner's failure and serves the next borrower.
  controller = WorkerThreadController::Acquire(pool);
  controller->Post([] { throw std::runtime_error("dropped"); });
  controller.reset();
  controller = WorkerThreadController::Acquire(pool);
  EXPECT_EQ(pool.IdleCount(), 0u);
  std::atomic<bool> ran = false;
  controller->Post([&] { ran = true; });
  controller->Wait();
  EXPECT_TRUE(ran);
}

TEST(WorkerThreadControllerTest, TheProcessPoolKeepsFourIdleWorkersPerProcessor) {
  EXPECT_EQ(GetWorkerThreadPool().GetCapacity(), 4 * ProcessorCount());
}

}  // namespace
}  // namespace Orvex
