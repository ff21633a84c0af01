#include "formats/png/png_filter.h"

#include <cstdlib>


namespace vt {

namespace {

template <uint32_t B>
void Sub(uint8_t* row, const uint8_t* /*prev*/, size_t n) {
  for (size_t i = B; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - B]);
}

template <uint32_t B>
void Up(uint8_t* row, const uint8_t* prev, size_t n) {
  for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
}

template <uint32_t B>
void Average(uint8_t* row, const uint8_t* prev, size_t n) {
  const size_t first = n < B ? n : B;
  for (size_t i = 0; i < first; ++i) row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
  for (size_t i = B; i < n; ++i)
    row[i] = static_cast<uint8_t>(row[i] + ((row[i - B] + prev[i]) >> 1));
}

inline uint8_t PaethPredictor(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

template <uint32_t B>
void Paeth(uint8_t* row, const uint8_t* prev, size_t n) {
  const size_t first = n < B ? n : B;
  // With no pixel to the left the predictor is the byte above.
  for (size_t i = 0; i < first; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
  for (size_t i = B; i < n; ++i)
    row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(row[i - B], prev[i], prev[i - B]));
}

template <uint32_t B>
void Fill(PngFilterKernels& k) {
  k.unfilter[0][B] = Sub<B>;
  k.unfilter[1][B] = Up<B>;
  k.unfilter[2][B] = Average<B>;
  k.unfilter[3][B] = Paeth<B>;
}

}  // namespace

namespace png_filter_detail {
PngFilterKernels Scalar() {
  PngFilterKernels k{};
  Fill<1>(k);
  Fill<2>(k);
  Fill<3>(k);
  Fill<4>(k);
  Fill<5>(k);
  Fill<6>(k);
  Fill<7>(k);
  Fill<8>(k);
  return k;
}
}  // namespace png_filter_detail

namespace {
const SimdKernels<PngFilterKernels>& Sets() {
  static const SimdKernels<PngFilterKernels> sets(png_filter_detail::Scalar(),
                                                  png_filter_detail::InstallSse2,
                                                  png_filter_detail::InstallSsse3);
  return sets;
}
}  // namespace

const PngFilterKernels& ActivePngFilterKernels() { return Sets().Active(); }
const PngFilterKernels* PngFilterKernelsFor(PngFilterLevel level) { return Sets().At(level); }

}  // namespace vt
