#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vt {

// The thread count that parallel image work splits for (stripes, pixel runs,
// decoder row tasks). Set once at start-up from the processor count; tools and
// tests may lower it (1 = everything on the calling thread).
uint32_t ParallelThreadCount();
void SetParallelThreadCount(uint32_t count);

// The process-wide count of running parallel operations. A parallel operation
// started while another runs uses one stripe, so nested work stays on its thread.
uint32_t RunningParallelOperations();
class ParallelOperationScope {
 public:
  ParallelOperationScope();
  ~ParallelOperationScope();
  ParallelOperationScope(const ParallelOperationScope&) = delete;
  ParallelOperationScope& operator=(const ParallelOperationScope&) = delete;
};

// A group of tasks run on the shared worker pool. Wait() returns when every task
// run in the group has finished; the waiting thread runs queued tasks of its own
// group meanwhile, so nested waits never starve. Cancel() drops the tasks that
// have not started and raises the group's cancel flag for those that have.
class TaskGroup {
 public:
  TaskGroup() = default;
  ~TaskGroup();
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  void Run(std::function<void()> task);
  void Wait();
  // Wait() for at most about the given time (a queued task of the group that
  // the waiting thread takes over runs to its end); true when all finished.
  bool WaitFor(uint32_t milliseconds);
  void Cancel();
  bool IsCancelling() const { return cancelling_.load(std::memory_order_relaxed); }

 private:
  friend class TaskPool;
  uint32_t pending_ = 0;  // guarded by the pool's lock
  std::atomic<bool> cancelling_{false};
};

// A manual-reset event.
class Event {
 public:
  void Set();
  void Reset();
  void Wait();
  // False when the time ran out first.
  bool WaitFor(uint32_t milliseconds);
  bool IsSet();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

}  // namespace vt
