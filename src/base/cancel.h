#pragma once
#include <atomic>
#include <cstdint>

namespace vt {

// A cancel flag is a byte that long operations poll (per row, per block); any
// non-zero value means stop. Atomic so that the thread that sets it and the
// workers that poll it do not race; relaxed order is enough for a stop request.
class CancelFlag {
 public:
  void Set() { flag_.store(1, std::memory_order_relaxed); }
  void Reset() { flag_.store(0, std::memory_order_relaxed); }
  bool IsSet() const { return flag_.load(std::memory_order_relaxed) != 0; }

 private:
  std::atomic<uint8_t> flag_{0};
};

// A null flag is never set.
inline bool IsCancelled(const CancelFlag* flag) { return flag && flag->IsSet(); }

}  // namespace vt
