#pragma once
#include <cstddef>

namespace vt {

// Memory for image planes, aligned to 16 bytes for the vector row kernels.
// The POSIX build backs large planes with large pages where the system grants
// them on request (plane_memory_posix.cpp); Windows uses the ordinary heap
// (plane_memory_win32.cpp). FreePlane takes the size AllocatePlane was given.
void* AllocatePlane(size_t bytes);
void FreePlane(void* p, size_t bytes);

}  // namespace vt
