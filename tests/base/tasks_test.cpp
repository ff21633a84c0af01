#include "base/tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/cancel.h"

namespace vt {
namespace {

TEST(TaskGroup, RunsEveryTaskBeforeWaitReturns) {
  std::atomic<int> sum{0};
  TaskGroup g;
  for (int i = 1; i <= 100; ++i) g.Run([&sum, i] { sum += i; });
  g.Wait();
  EXPECT_EQ(sum.load(), 5050);
  g.Wait();  // waiting on an idle group returns at once
}

TEST(TaskGroup, NestedGroupsDoNotDeadlock) {
  // Every outer task waits for inner tasks; with more outer tasks than workers
  // this only finishes because a waiting thread runs its own group's tasks.
  std::atomic<int> count{0};
  TaskGroup outer;
  for (int i = 0; i < 16; ++i) {
    outer.Run([&count] {
      TaskGroup inner;
      for (int k = 0; k < 8; ++k) inner.Run([&count] { ++count; });
      inner.Wait();
    });
  }
  outer.Wait();
  EXPECT_EQ(count.load(), 16 * 8);
}

TEST(TaskGroup, WaitForGivesUpOnARunningTaskAndSeesItFinish) {
  Event started, release;
  TaskGroup g;
  g.Run([&] {
    started.Set();
    release.Wait();
  });
  // Only once a worker has the task: a waiter would otherwise take it over.
  started.Wait();
  EXPECT_FALSE(g.WaitFor(0));
  EXPECT_FALSE(g.WaitFor(30));
  release.Set();
  EXPECT_TRUE(g.WaitFor(10000));
  EXPECT_TRUE(g.WaitFor(0));  // an idle group at once

  // Queued tasks of the group are run by the waiting thread meanwhile.
  std::atomic<int> count{0};
  for (int i = 0; i < 50; ++i) g.Run([&count] { ++count; });
  while (!g.WaitFor(5)) {
  }
  EXPECT_EQ(count.load(), 50);
}

TEST(TaskGroup, CancelDropsTasksNotStarted) {
  Event release;
  std::atomic<int> ran{0};
  TaskGroup blockers;
  TaskGroup g;
  // Keep every worker busy so g's tasks stay queued.
  const int workers = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
  std::atomic<int> started{0};
  for (int i = 0; i < workers; ++i) {
    blockers.Run([&] {
      ++started;
      release.Wait();
    });
  }
  while (started.load() < workers) std::this_thread::yield();
  for (int i = 0; i < 50; ++i) g.Run([&ran] { ++ran; });
  g.Cancel();
  EXPECT_TRUE(g.IsCancelling());
  release.Set();
  g.Wait();
  blockers.Wait();
  EXPECT_EQ(ran.load(), 0);
}

TEST(Event, SetWakesWaitersAndStaysSetUntilReset) {
  Event e;
  EXPECT_FALSE(e.WaitFor(1));
  std::thread t([&e] { e.Set(); });
  e.Wait();
  t.join();
  EXPECT_TRUE(e.IsSet());
  EXPECT_TRUE(e.WaitFor(0));
  e.Reset();
  EXPECT_FALSE(e.IsSet());
}

TEST(ParallelOperations, ScopesCountAndNest) {
  const uint32_t before = RunningParallelOperations();
  {
    ParallelOperationScope a;
    EXPECT_EQ(RunningParallelOperations(), before + 1);
    {
      ParallelOperationScope b;
      EXPECT_EQ(RunningParallelOperations(), before + 2);
    }
  }
  EXPECT_EQ(RunningParallelOperations(), before);
}

TEST(ParallelThreadCount, CanBeLoweredAndRestored) {
  const uint32_t original = ParallelThreadCount();
  SetParallelThreadCount(1);
  EXPECT_EQ(ParallelThreadCount(), 1u);
  SetParallelThreadCount(0);  // never zero threads
  EXPECT_EQ(ParallelThreadCount(), 1u);
  SetParallelThreadCount(original);
}

TEST(CancelFlag, SeenAcrossThreads) {
  CancelFlag flag;
  EXPECT_FALSE(IsCancelled(&flag));
  EXPECT_FALSE(IsCancelled(nullptr));
  std::atomic<bool> saw{false};
  std::thread t([&] {
    while (!flag.IsSet()) std::this_thread::yield();
    saw = true;
  });
  flag.Set();
  t.join();
  EXPECT_TRUE(saw.load());
}

}  // namespace
}  // namespace vt
