#include "formats/jpeg/jpeg_kernels.h"

namespace vt {

const JpegKernels* Sse2JpegKernels() { return nullptr; }

}  // namespace vt
