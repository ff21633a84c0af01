#ifndef _WIN32
#include "image/plane_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace vt {

namespace {

// Planes of a few megabytes and more are backed by large pages where the system
// offers them on request. A fresh plane is written once from top to bottom, and
// with ordinary pages a 24-megapixel image takes some 24,000 page faults on that
// first pass, which cost about as much as its colour conversion.
constexpr size_t kLargePlaneBytes = size_t{4} << 20;
constexpr size_t kLargePageBytes = size_t{2} << 20;

}  // namespace

void* AllocatePlane(size_t bytes) {
#if defined(MADV_HUGEPAGE)
  if (bytes >= kLargePlaneBytes) {
    void* p = nullptr;
    if (posix_memalign(&p, kLargePageBytes, bytes) != 0) return nullptr;
    // Advice only: without large pages the plane works as it is.
    madvise(p, bytes & ~(kLargePageBytes - 1), MADV_HUGEPAGE);
    return p;
  }
#endif
  return ::operator new(bytes, std::align_val_t{16}, std::nothrow);
}

void FreePlane(void* p, size_t bytes) {
#if defined(MADV_HUGEPAGE)
  if (bytes >= kLargePlaneBytes) {
    std::free(p);
    return;
  }
#endif
  (void)bytes;
  ::operator delete(p, std::align_val_t{16});
}

}  // namespace vt

#endif  // !_WIN32
