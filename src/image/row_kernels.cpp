#include "image/row_kernels.h"

#include <cstring>

#include "base/cpu_features.h"

namespace vt {

namespace {
namespace impl {

inline uint16_t Load16(const uint8_t* p, bool swap) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return swap ? static_cast<uint16_t>(v >> 8 | v << 8) : v;
}
inline uint32_t Load32(const uint8_t* p, bool swap) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if (swap) v = (v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24);
  return v;
}
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

constexpr uint32_t kFloatOne = 0x3F800000u;

void PlanarRgbToBgra8(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n) {
  const uint8_t* r = src;
  const uint8_t* g = src + planeDistance;
  const uint8_t* b = src + 2 * planeDistance;
  for (size_t i = 0; i < n; ++i) {
    dst[4 * i] = b[i];
    dst[4 * i + 1] = g[i];
    dst[4 * i + 2] = r[i];
    dst[4 * i + 3] = 0xFF;
  }
}

void PlanarRgbaToBgra8(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n) {
  const uint8_t* r = src;
  const uint8_t* g = src + planeDistance;
  const uint8_t* b = src + 2 * planeDistance;
  const uint8_t* a = src + 3 * planeDistance;
  for (size_t i = 0; i < n; ++i) {
    dst[4 * i] = b[i];
    dst[4 * i + 1] = g[i];
    dst[4 * i + 2] = r[i];
    dst[4 * i + 3] = a[i];
  }
}

// Each byte of a 1-bit row spread to eight bytes of 0 or 1, first pixel in the
// lowest byte (little-endian store order).
struct BitSpreadTable {
  uint64_t v[256];
  constexpr BitSpreadTable() : v() {
    for (uint32_t b = 0; b < 256; ++b) {
      uint64_t x = 0;
      for (uint32_t k = 0; k < 8; ++k)
        if (b & (0x80u >> k)) x |= uint64_t{1} << (8 * k);
      v[b] = x;
    }
  }
};
constexpr BitSpreadTable kBitSpread;

void BitPlanesToIndices(uint8_t* dst, const uint8_t* src, size_t planeDistance, uint32_t planes,
                        size_t n) {
  if (planes > 8) planes = 8;
  const size_t whole = n / 8;
  for (size_t j = 0; j < whole; ++j) {
    uint64_t x = 0;
    for (uint32_t k = 0; k < planes; ++k) x |= kBitSpread.v[src[k * planeDistance + j]] << k;
    std::memcpy(dst + 8 * j, &x, 8);
  }
  for (size_t i = whole * 8; i < n; ++i) {
    uint8_t v = 0;
    for (uint32_t k = 0; k < planes; ++k)
      v |= static_cast<uint8_t>(((src[k * planeDistance + i / 8] >> (7 - i % 8)) & 1) << k);
    dst[i] = v;
  }
}

void StridedByteCopy(uint8_t* dst, const uint8_t* src, size_t n, size_t step) {
  if (step == 1) {
    if (n) std::memcpy(dst, src, n);  // an empty row may come with null pointers
    return;
  }
  for (size_t i = 0; i < n; ++i) dst[i * step] = src[i];
}

void StridedCopy16(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  if (step == 1 && !swap) {
    if (n) std::memcpy(dst, src, n * 2);
    return;
  }
  for (size_t i = 0; i < n; ++i) Store16(dst + 2 * i * step, Load16(src + 2 * i, swap));
}

void StridedCopy32(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  if (step == 1 && !swap) {
    if (n) std::memcpy(dst, src, n * 4);
    return;
  }
  for (size_t i = 0; i < n; ++i) Store32(dst + 4 * i * step, Load32(src + 4 * i, swap));
}

void Expand1Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  const size_t whole = n / 8;
  for (size_t j = 0; j < whole; ++j) std::memcpy(dst + 8 * j, &kBitSpread.v[src[j]], 8);
  for (size_t i = whole * 8; i < n; ++i) dst[i] = (src[i / 8] >> (7 - i % 8)) & 1;
}

void Expand2Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  const size_t whole = n / 4;
  for (size_t j = 0; j < whole; ++j) {
    const uint8_t b = src[j];
    dst[4 * j] = b >> 6;
    dst[4 * j + 1] = (b >> 4) & 3;
    dst[4 * j + 2] = (b >> 2) & 3;
    dst[4 * j + 3] = b & 3;
  }
  for (size_t i = whole * 4; i < n; ++i) dst[i] = (src[i / 4] >> (6 - 2 * (i % 4))) & 3;
}

void Expand4Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  const size_t whole = n / 2;
  for (size_t j = 0; j < whole; ++j) {
    dst[2 * j] = src[j] >> 4;
    dst[2 * j + 1] = src[j] & 15;
  }
  if (n & 1) dst[n - 1] = src[n / 2] >> 4;
}

void Rgb8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    dst[4 * i] = src[3 * i + 2];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i];
    dst[4 * i + 3] = 0xFF;
  }
}

void Rgba8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    dst[4 * i] = src[4 * i + 2];
    dst[4 * i + 1] = src[4 * i + 1];
    dst[4 * i + 2] = src[4 * i];
    dst[4 * i + 3] = src[4 * i + 3];
  }
}

void Bgr8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    dst[4 * i] = src[3 * i];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i + 2];
    dst[4 * i + 3] = 0xFF;
  }
}

void Rgb16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  for (size_t i = 0; i < n; ++i) {
    Store16(dst + 8 * i, Load16(src + 6 * i + 4, swap));
    Store16(dst + 8 * i + 2, Load16(src + 6 * i + 2, swap));
    Store16(dst + 8 * i + 4, Load16(src + 6 * i, swap));
    Store16(dst + 8 * i + 6, 0xFFFF);
  }
}

void Rgba16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  for (size_t i = 0; i < n; ++i) {
    Store16(dst + 8 * i, Load16(src + 8 * i + 4, swap));
    Store16(dst + 8 * i + 2, Load16(src + 8 * i + 2, swap));
    Store16(dst + 8 * i + 4, Load16(src + 8 * i, swap));
    Store16(dst + 8 * i + 6, Load16(src + 8 * i + 6, swap));
  }
}

void Bgr16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  for (size_t i = 0; i < n; ++i) {
    Store16(dst + 8 * i, Load16(src + 6 * i, swap));
    Store16(dst + 8 * i + 2, Load16(src + 6 * i + 2, swap));
    Store16(dst + 8 * i + 4, Load16(src + 6 * i + 4, swap));
    Store16(dst + 8 * i + 6, 0xFFFF);
  }
}

void RgbFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  for (size_t i = 0; i < n; ++i) {
    Store32(dst + 16 * i, Load32(src + 12 * i + 8, swap));
    Store32(dst + 16 * i + 4, Load32(src + 12 * i + 4, swap));
    Store32(dst + 16 * i + 8, Load32(src + 12 * i, swap));
    Store32(dst + 16 * i + 12, kFloatOne);
  }
}

void RgbaFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  for (size_t i = 0; i < n; ++i) {
    Store32(dst + 16 * i, Load32(src + 16 * i + 8, swap));
    Store32(dst + 16 * i + 4, Load32(src + 16 * i + 4, swap));
    Store32(dst + 16 * i + 8, Load32(src + 16 * i, swap));
    Store32(dst + 16 * i + 12, Load32(src + 16 * i + 12, swap));
  }
}

void BgrFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  for (size_t i = 0; i < n; ++i) {
    Store32(dst + 16 * i, Load32(src + 12 * i, swap));
    Store32(dst + 16 * i + 4, Load32(src + 12 * i + 4, swap));
    Store32(dst + 16 * i + 8, Load32(src + 12 * i + 8, swap));
    Store32(dst + 16 * i + 12, kFloatOne);
  }
}

void HighBytes16(uint8_t* dst, const uint16_t* src, size_t samples) {
  for (size_t i = 0; i < samples; ++i) dst[i] = static_cast<uint8_t>(src[i] >> 8);
}

void Widen8To16(uint16_t* dst, const uint8_t* src, size_t samples) {
  for (size_t i = 0; i < samples; ++i) dst[i] = static_cast<uint16_t>(src[i] * 257u);
}

void U8ToFloat(float* dst, const uint8_t* src, size_t samples) {
  // Multiplying by the reciprocal would differ from the division in the last
  // bit for some values; a table keeps the exact quotients at the same speed.
  static const struct Table {
    float v[256];
    Table() {
      for (int i = 0; i < 256; ++i) v[i] = static_cast<float>(i) / 255.0f;
    }
  } table;
  for (size_t i = 0; i < samples; ++i) dst[i] = table.v[src[i]];
}

void U16ToFloat(float* dst, const uint16_t* src, size_t samples) {
  for (size_t i = 0; i < samples; ++i) dst[i] = static_cast<float>(src[i]) / 65535.0f;
}

void FloatToU16(uint16_t* dst, const float* src, size_t samples) {
  for (size_t i = 0; i < samples; ++i) {
    float v = src[i];
    v = v > 0.0f ? v : 0.0f;  // NaN lands here too
    v = v < 1.0f ? v : 1.0f;
    dst[i] = static_cast<uint16_t>(static_cast<int32_t>(v * 65535.0f + 0.5f));
  }
}

void Gray8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) Store32(dst + 4 * i, src[i] * 0x010101u | 0xFF000000u);
}

void Indexed8ToBgra8(uint8_t* dst, const uint8_t* src, const uint32_t* palette, size_t n) {
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint32_t a = palette[src[i]], b = palette[src[i + 1]];
    const uint32_t c = palette[src[i + 2]], d = palette[src[i + 3]];
    Store32(dst + 4 * i, a);
    Store32(dst + 4 * i + 4, b);
    Store32(dst + 4 * i + 8, c);
    Store32(dst + 4 * i + 12, d);
  }
  for (; i < n; ++i) Store32(dst + 4 * i, palette[src[i]]);
}

void Bgra8ToGray8(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i)
    dst[i] = static_cast<uint8_t>((src[4 * i] + src[4 * i + 1] + src[4 * i + 2] + 1u) / 3u);
}

void DitherBgra16Row(uint8_t* dst, const uint16_t* src, uint16_t* err, size_t n, bool reverse) {
  // err has one scratch pixel on each side so that the spread to the pixels
  // behind and ahead needs no edge tests; what lands there is dropped.
  for (int c = 0; c < 4; ++c) err[c] = err[4 * (n + 1) + c] = 0;
  const ptrdiff_t d = reverse ? -1 : 1;
  ptrdiff_t x = reverse ? static_cast<ptrdiff_t>(n) - 1 : 0;
  uint32_t carry[3] = {0, 0, 0};  // 7 r for the next pixel in this row
  uint32_t ahead[3] = {0, 0, 0};  // 1 r for the pixel below the next one
  for (size_t k = 0; k < n; ++k, x += d) {
    const uint16_t* s = src + 4 * x;
    uint16_t* e = err + 4 * (x + 1);
    uint8_t* o = dst + 4 * x;
    for (int c = 0; c < 3; ++c) {
      uint32_t v = (DitherInput(s[c]) >> 4) + ((e[c] + carry[c] + 8) >> 4);
      if (v > 4095) v = 4095;
      const uint32_t r = v & 15;
      o[c] = static_cast<uint8_t>(v >> 4);
      carry[c] = 7 * r;
      e[c] = static_cast<uint16_t>(ahead[c] + 5 * r);
      e[c - 4 * d] = static_cast<uint16_t>(e[c - 4 * d] + 3 * r);
      ahead[c] = r;
    }
    o[3] = static_cast<uint8_t>(s[3] >> 8);
    e[3] = 0;
  }
}

}  // namespace impl
}  // namespace

namespace row_kernels_detail {
RowKernels Scalar() {
  RowKernels k;
  k.planarRgbToBgra8 = impl::PlanarRgbToBgra8;
  k.planarRgbaToBgra8 = impl::PlanarRgbaToBgra8;
  k.bitPlanesToIndices = impl::BitPlanesToIndices;
  k.stridedByteCopy = impl::StridedByteCopy;
  k.stridedCopy16 = impl::StridedCopy16;
  k.stridedCopy32 = impl::StridedCopy32;
  k.expand1Bit = impl::Expand1Bit;
  k.expand2Bit = impl::Expand2Bit;
  k.expand4Bit = impl::Expand4Bit;
  k.rgb8ToBgra8 = impl::Rgb8ToBgra8;
  k.rgba8ToBgra8 = impl::Rgba8ToBgra8;
  k.bgr8ToBgra8 = impl::Bgr8ToBgra8;
  k.rgb16ToBgra16 = impl::Rgb16ToBgra16;
  k.rgba16ToBgra16 = impl::Rgba16ToBgra16;
  k.bgr16ToBgra16 = impl::Bgr16ToBgra16;
  k.rgbFloatToBgraFloat = impl::RgbFloatToBgraFloat;
  k.rgbaFloatToBgraFloat = impl::RgbaFloatToBgraFloat;
  k.bgrFloatToBgraFloat = impl::BgrFloatToBgraFloat;
  k.highBytes16 = impl::HighBytes16;
  k.widen8To16 = impl::Widen8To16;
  k.u8ToFloat = impl::U8ToFloat;
  k.u16ToFloat = impl::U16ToFloat;
  k.floatToU16 = impl::FloatToU16;
  k.gray8ToBgra8 = impl::Gray8ToBgra8;
  k.indexed8ToBgra8 = impl::Indexed8ToBgra8;
  k.bgra8ToGray8 = impl::Bgra8ToGray8;
  k.ditherBgra16Row = impl::DitherBgra16Row;
  return k;
}
}  // namespace row_kernels_detail

namespace {

const SimdKernels<RowKernels>& Sets() {
  static const SimdKernels<RowKernels> sets(row_kernels_detail::Scalar(),
                                            row_kernels_detail::InstallSse2,
                                            row_kernels_detail::InstallSsse3);
  return sets;
}

}  // namespace

const RowKernels* RowKernelsFor(RowKernelLevel level) { return Sets().At(level); }
RowKernelLevel ActiveRowKernelLevel() { return Sets().ActiveLevel(); }
const RowKernels& ActiveRowKernels() { return Sets().Active(); }

}  // namespace vt
