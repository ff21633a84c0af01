#ifdef _WIN32
#include "image/plane_memory.h"

#include <new>

namespace vt {

// Large pages on Windows need a privilege an ordinary user lacks, so planes
// come from the heap whatever their size.
void* AllocatePlane(size_t bytes) { return ::operator new(bytes, std::align_val_t{16}, std::nothrow); }

void FreePlane(void* p, size_t) { ::operator delete(p, std::align_val_t{16}); }

}  // namespace vt

#endif  // _WIN32
