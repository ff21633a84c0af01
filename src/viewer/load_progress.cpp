#include "viewer/load_progress.h"

#include <algorithm>

namespace vt {

class LoadProgress::Sink : public ProgressSink {
 public:
  Sink(RefPtr<LoadProgress> relay, uint32_t load) : relay_(std::move(relay)), load_(load) {}
  void Report(uint32_t done, uint32_t total) override { relay_->Report(load_, done, total); }
  void Waiting() override {
    if (std::this_thread::get_id() == relay_->owner_) relay_->ApplyPending();
  }

 private:
  const RefPtr<LoadProgress> relay_;
  const uint32_t load_;
};

LoadProgress::LoadProgress(Platform& os, PlatformWindow* window, uint32_t applyCommand)
    : os_(os), owner_(std::this_thread::get_id()), command_(applyCommand), window_(window) {}

RefPtr<ProgressSink> LoadProgress::Begin() {
  uint32_t load;
  {
    std::lock_guard lock(mutex_);
    load = ++loads_;
    if (load == 0) load = ++loads_;  // 0 stands for no load
    current_ = window_ ? load : 0;
    pending_ = false;
  }
  return MakeRef<Sink>(RefPtr<LoadProgress>(this), load);
}

void LoadProgress::End() {
  std::lock_guard lock(mutex_);
  current_ = 0;
  pending_ = false;
}

void LoadProgress::Detach() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
  current_ = 0;
  pending_ = false;
}

void LoadProgress::Report(uint32_t load, uint32_t done, uint32_t total) {
  if (total == 0) return;
  done = std::min(done, total);
  if (std::this_thread::get_id() == owner_) {
    {
      std::lock_guard lock(mutex_);
      if (load != current_) return;
      pending_ = false;  // older than this one
    }
    os_.SetProgress(ProgressState::kNormal, done, total);
    return;
  }
  std::lock_guard lock(mutex_);
  if (load != current_) return;
  done_ = done;
  total_ = total;
  pending_ = true;
  if (!posted_) {
    // Under the lock, so that Detach cannot let the window go meanwhile.
    posted_ = true;
    window_->PostCommand(command_, 0);
  }
}

void LoadProgress::ApplyPosted() {
  {
    std::lock_guard lock(mutex_);
    posted_ = false;
  }
  ApplyPending();
}

void LoadProgress::ApplyPending() {
  uint32_t done, total;
  {
    std::lock_guard lock(mutex_);
    if (!pending_ || current_ == 0) return;
    pending_ = false;
    done = done_;
    total = total_;
  }
  os_.SetProgress(ProgressState::kNormal, done, total);
}

}  // namespace vt
