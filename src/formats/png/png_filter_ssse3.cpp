// SSSE3 unfilter kernels: Paeth with the absolute-value instruction, which
// shortens the chain each pixel waits on.
#include "formats/png/png_filter.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>

#include "formats/png/png_filter_simd.h"

namespace vt::png_filter_detail {
namespace {
inline __m128i Abs16Ssse3(__m128i x) { return _mm_abs_epi16(x); }
}  // namespace

bool InstallSsse3(PngFilterKernels& k) {
  k.unfilter[3][3] = PaethSimd<3, Abs16Ssse3>;
  k.unfilter[3][4] = PaethSimd<4, Abs16Ssse3>;
  return true;
}

}  // namespace vt::png_filter_detail

#else

namespace vt::png_filter_detail {
bool InstallSsse3(PngFilterKernels&) { return false; }
}  // namespace vt::png_filter_detail

#endif
