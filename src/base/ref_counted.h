#pragma once
#include <atomic>
#include <cstdint>
#include <utility>

namespace vt {

// Intrusive, atomic reference count. An object starts with one reference for its
// creator and deletes itself when the last holder releases it.
class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  void AddRef() const { count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  uint32_t RefCount() const { return count_.load(std::memory_order_relaxed); }

 protected:
  virtual ~RefCounted() = default;

 private:
  mutable std::atomic<uint32_t> count_{1};
};

// Holder of one reference. Adopt() takes over the creator's reference; the
// constructor from a raw pointer adds one.
template <class T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(std::nullptr_t) {}
  explicit RefPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  RefPtr(const RefPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  RefPtr(const RefPtr<U>& o) : p_(o.get()) {
    if (p_) p_->AddRef();
  }
  template <class U>
  RefPtr(RefPtr<U>&& o) noexcept : p_(o.Leak()) {}
  ~RefPtr() {
    if (p_) p_->Release();
  }
  RefPtr& operator=(RefPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  static RefPtr Adopt(T* p) {
    RefPtr r;
    r.p_ = p;
    return r;
  }
  // Gives up the reference without releasing it.
  T* Leak() { return std::exchange(p_, nullptr); }
  void reset() { RefPtr().swap(*this); }
  void swap(RefPtr& o) noexcept { std::swap(p_, o.p_); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  friend bool operator==(const RefPtr& a, const RefPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const RefPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Creates a T with its initial reference owned by the returned holder.
template <class T, class... Args>
RefPtr<T> MakeRef(Args&&... args) {
  return RefPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

}  // namespace vt
