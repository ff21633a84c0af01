// SSE2 unfilter kernels: Up for every pixel width, Sub, Average and Paeth for
// 3 and 4 bytes per pixel.
#include "formats/png/png_filter.h"

#if defined(__SSE2__) || defined(_M_X64)
#include "formats/png/png_filter_simd.h"

namespace vt::png_filter_detail {

bool InstallSse2(PngFilterKernels& k) {
  k.unfilter[1][1] = UpSimd<1>;
  k.unfilter[1][2] = UpSimd<2>;
  k.unfilter[1][3] = UpSimd<3>;
  k.unfilter[1][4] = UpSimd<4>;
  k.unfilter[1][5] = UpSimd<5>;
  k.unfilter[1][6] = UpSimd<6>;
  k.unfilter[1][7] = UpSimd<7>;
  k.unfilter[1][8] = UpSimd<8>;
  k.unfilter[0][3] = Sub3Simd;
  k.unfilter[0][4] = Sub4Simd;
  k.unfilter[2][3] = AverageSimd<3>;
  k.unfilter[2][4] = AverageSimd<4>;
  k.unfilter[3][3] = PaethSimd<3, Abs16Sse2>;
  k.unfilter[3][4] = PaethSimd<4, Abs16Sse2>;
  return true;
}

}  // namespace vt::png_filter_detail

#else

namespace vt::png_filter_detail {
bool InstallSse2(PngFilterKernels&) { return false; }
}  // namespace vt::png_filter_detail

#endif
