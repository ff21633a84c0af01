#include "base/tasks.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <thread>
#include <vector>

#include "base/cpu_features.h"

namespace vt {

namespace {
std::atomic<uint32_t> g_thread_count{0};
std::atomic<uint32_t> g_parallel_ops{0};
}  // namespace

uint32_t ParallelThreadCount() {
  uint32_t n = g_thread_count.load(std::memory_order_relaxed);
  return n ? n : SystemProcessorCount();
}

void SetParallelThreadCount(uint32_t count) {
  g_thread_count.store(count ? count : 1, std::memory_order_relaxed);
}

uint32_t RunningParallelOperations() { return g_parallel_ops.load(std::memory_order_acquire); }
ParallelOperationScope::ParallelOperationScope() {
  g_parallel_ops.fetch_add(1, std::memory_order_acq_rel);
}
ParallelOperationScope::~ParallelOperationScope() {
  g_parallel_ops.fetch_sub(1, std::memory_order_acq_rel);
}

class TaskPool {
 public:
  static TaskPool& Get() {
    // Leaked on purpose: worker threads may still be parked when static
    // destructors run, and joining them there would order-depend on other statics.
    static TaskPool* pool = new TaskPool();
    return *pool;
  }

  void Submit(TaskGroup* group, std::function<void()> fn) {
    std::unique_lock lock(mutex_);
    ++group->pending_;
    queue_.push_back({group, std::move(fn)});
    StartWorkersLocked();
    cv_.notify_all();
  }

  void Wait(TaskGroup* group) { WaitUntil(group, std::nullopt); }

  bool WaitFor(TaskGroup* group, uint32_t milliseconds) {
    return WaitUntil(group, std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
  }

  // Runs queued tasks of the group meanwhile, so nested waits never starve.
  bool WaitUntil(TaskGroup* group, std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    while (group->pending_ != 0) {
      auto it = queue_.begin();
      while (it != queue_.end() && it->group != group) ++it;
      if (it != queue_.end()) {
        Item item = std::move(*it);
        queue_.erase(it);
        RunLocked(lock, item);
      } else if (!deadline) {
        cv_.wait(lock);
      } else if (cv_.wait_until(lock, *deadline) == std::cv_status::timeout) {
        break;
      }
    }
    return group->pending_ == 0;
  }

  void Cancel(TaskGroup* group) {
    std::unique_lock lock(mutex_);
    group->cancelling_.store(true, std::memory_order_relaxed);
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->group == group) {
        it = queue_.erase(it);
        --group->pending_;
      } else {
        ++it;
      }
    }
    cv_.notify_all();
  }

 private:
  struct Item {
    TaskGroup* group;
    std::function<void()> fn;
  };

  void StartWorkersLocked() {
    // Background loads must progress even on one processor, so there are always
    // at least two workers; more only when there are more processors.
    size_t wanted = std::max<uint32_t>(2, SystemProcessorCount());
    while (workers_.size() < wanted) {
      workers_.emplace_back([this] { WorkerLoop(); });
      workers_.back().detach();
    }
  }

  void RunLocked(std::unique_lock<std::mutex>& lock, Item& item) {
    lock.unlock();
    item.fn();
    item.fn = nullptr;  // destroy captures outside the lock
    lock.lock();
    --item.group->pending_;
    cv_.notify_all();
  }

  void WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (queue_.empty()) {
        cv_.wait(lock);
        continue;
      }
      Item item = std::move(queue_.front());
      queue_.pop_front();
      RunLocked(lock, item);
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Item> queue_;
  std::vector<std::thread> workers_;
};

TaskGroup::~TaskGroup() { Wait(); }
void TaskGroup::Run(std::function<void()> task) { TaskPool::Get().Submit(this, std::move(task)); }
void TaskGroup::Wait() { TaskPool::Get().Wait(this); }
bool TaskGroup::WaitFor(uint32_t milliseconds) { return TaskPool::Get().WaitFor(this, milliseconds); }
void TaskGroup::Cancel() { TaskPool::Get().Cancel(this); }

void Event::Set() {
  std::lock_guard lock(mutex_);
  set_ = true;
  cv_.notify_all();
}
void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}
void Event::Wait() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return set_; });
}
bool Event::WaitFor(uint32_t ms) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
}
bool Event::IsSet() {
  std::lock_guard lock(mutex_);
  return set_;
}

}  // namespace vt
