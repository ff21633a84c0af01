#include "render/scale_kernels.h"

#include <algorithm>


namespace vt {
namespace {

inline int16_t SaturateInt16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

void HorizontalBgra8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                     uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const ColumnTap& t = taps[i];
    const uint8_t* p = row + 4 * static_cast<ptrdiff_t>(t.first);
    for (int c = 0; c < 4; ++c) {
      const int32_t sum = p[c] * t.tap[0] + p[4 + c] * t.tap[1] + p[8 + c] * t.tap[2] +
                          p[12 + c] * t.tap[3];
      out[4 * size_t{i} + c] = SaturateInt16(sum >> 7);
    }
  }
}

void HorizontalGray8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                     uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const ColumnTap& t = taps[i];
    const uint8_t* p = row + t.first;
    const int32_t sum = p[0] * t.tap[0] + p[1] * t.tap[1] + p[2] * t.tap[2] + p[3] * t.tap[3];
    out[i] = SaturateInt16(sum >> 7);
  }
}

// 16-bit samples times taps stay below 2^31 (the positive taps of a phase sum to
// at most 18432), so 32-bit sums are exact.
void HorizontalBgra16(int32_t* out, const uint16_t* row, const ColumnTap* taps, uint32_t begin,
                      uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const ColumnTap& t = taps[i];
    const uint16_t* p = row + 4 * static_cast<ptrdiff_t>(t.first);
    for (int c = 0; c < 4; ++c) {
      const int32_t sum = p[c] * t.tap[0] + p[4 + c] * t.tap[1] + p[8 + c] * t.tap[2] +
                          p[12 + c] * t.tap[3];
      out[4 * size_t{i} + c] = (sum + 8192) >> 14;
    }
  }
}

void HorizontalGray16(int32_t* out, const uint16_t* row, const ColumnTap* taps, uint32_t begin,
                      uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const ColumnTap& t = taps[i];
    const uint16_t* p = row + t.first;
    const int32_t sum = p[0] * t.tap[0] + p[1] * t.tap[1] + p[2] * t.tap[2] + p[3] * t.tap[3];
    out[i] = (sum + 8192) >> 14;
  }
}

void HorizontalBgraF(float* out, const float* row, const ColumnTap* taps, const float* ftaps,
                     uint32_t begin, uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const float* p = row + 4 * static_cast<ptrdiff_t>(taps[i].first);
    const float* f = ftaps + 4 * size_t{i};
    for (int c = 0; c < 4; ++c) {
      float s = p[c] * f[0];
      s += p[4 + c] * f[1];
      s += p[8 + c] * f[2];
      s += p[12 + c] * f[3];
      out[4 * size_t{i} + c] = s;
    }
  }
}

void HorizontalGrayF(float* out, const float* row, const ColumnTap* taps, const float* ftaps,
                     uint32_t begin, uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const float* p = row + taps[i].first;
    const float* f = ftaps + 4 * size_t{i};
    float s = p[0] * f[0];
    s += p[1] * f[1];
    s += p[2] * f[2];
    s += p[3] * f[3];
    out[i] = s;
  }
}

// Phase 0 is (0, 16384, 0, 0): the sample itself, x 128.
void PickBgra8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
               uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const uint8_t* p = row + 4 * (static_cast<ptrdiff_t>(taps[i].first) + 1);
    for (int c = 0; c < 4; ++c) out[4 * size_t{i} + c] = static_cast<int16_t>(p[c] << 7);
  }
}

void PickGray8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
               uint32_t end) {
  for (uint32_t i = begin; i < end; ++i)
    out[i] = static_cast<int16_t>(row[taps[i].first + 1] << 7);
}

void Vertical8(uint8_t* out, const int16_t* const rows[4], const int16_t taps[4], size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int32_t sum = rows[0][i] * taps[0] + rows[1][i] * taps[1] + rows[2][i] * taps[2] +
                        rows[3][i] * taps[3];
    out[i] = static_cast<uint8_t>(std::clamp((sum + (1 << 20)) >> 21, 0, 255));
  }
}

void Vertical16(uint16_t* out, const int32_t* const rows[4], const int16_t taps[4], size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int32_t sum = rows[0][i] * taps[0] + rows[1][i] * taps[1] + rows[2][i] * taps[2] +
                        rows[3][i] * taps[3];
    out[i] = static_cast<uint16_t>(std::clamp((sum + 8192) >> 14, 0, 65535));
  }
}

void VerticalF(float* out, const float* const rows[4], const float taps[4], size_t n) {
  for (size_t i = 0; i < n; ++i) {
    float s = rows[0][i] * taps[0];
    s += rows[1][i] * taps[1];
    s += rows[2][i] * taps[2];
    s += rows[3][i] * taps[3];
    out[i] = s;
  }
}

void Box2Bgra8(uint8_t* out, const uint8_t* src, size_t pitch, size_t n) {
  const uint8_t* a = src;
  const uint8_t* b = src + pitch;
  for (size_t i = 0; i < n; ++i) {
    for (int c = 0; c < 4; ++c) {
      const uint32_t s = a[8 * i + c] + a[8 * i + 4 + c] + b[8 * i + c] + b[8 * i + 4 + c];
      out[4 * i + c] = static_cast<uint8_t>((s + 2) >> 2);
    }
  }
}

void Box2Gray8(uint8_t* out, const uint8_t* src, size_t pitch, size_t n) {
  const uint8_t* a = src;
  const uint8_t* b = src + pitch;
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>((a[2 * i] + a[2 * i + 1] + b[2 * i] + b[2 * i + 1] + 2) >> 2);
}

void Accumulate8(uint16_t* sums, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) sums[i] = static_cast<uint16_t>(sums[i] + src[i]);
}

void BoxSumsBgra8(uint8_t* out, const uint16_t* sums, uint32_t factor, size_t n) {
  uint32_t shift = 0;
  while ((1u << shift) < factor * factor) ++shift;
  const uint32_t half = (factor * factor) / 2;
  for (size_t i = 0; i < n; ++i) {
    const uint16_t* p = sums + 4 * factor * i;
    for (int c = 0; c < 4; ++c) {
      uint32_t s = 0;
      for (uint32_t k = 0; k < factor; ++k) s += p[4 * k + c];
      out[4 * i + c] = static_cast<uint8_t>((s + half) >> shift);
    }
  }
}

void BoxSumsGray8(uint8_t* out, const uint16_t* sums, uint32_t factor, size_t n) {
  uint32_t shift = 0;
  while ((1u << shift) < factor * factor) ++shift;
  const uint32_t half = (factor * factor) / 2;
  for (size_t i = 0; i < n; ++i) {
    const uint16_t* p = sums + factor * i;
    uint32_t s = 0;
    for (uint32_t k = 0; k < factor; ++k) s += p[k];
    out[i] = static_cast<uint8_t>((s + half) >> shift);
  }
}

}  // namespace

namespace scale_kernels_detail {
ScaleKernels Scalar() {
  ScaleKernels k;
  k.horizontalBgra8 = HorizontalBgra8;
  k.horizontalGray8 = HorizontalGray8;
  k.horizontalBgra16 = HorizontalBgra16;
  k.horizontalGray16 = HorizontalGray16;
  k.horizontalBgraF = HorizontalBgraF;
  k.horizontalGrayF = HorizontalGrayF;
  k.pickBgra8 = PickBgra8;
  k.pickGray8 = PickGray8;
  k.vertical8 = Vertical8;
  k.vertical16 = Vertical16;
  k.verticalF = VerticalF;
  k.box2Bgra8 = Box2Bgra8;
  k.box2Gray8 = Box2Gray8;
  k.accumulate8 = Accumulate8;
  k.boxSumsBgra8 = BoxSumsBgra8;
  k.boxSumsGray8 = BoxSumsGray8;
  return k;
}
}  // namespace scale_kernels_detail

namespace {
const SimdKernels<ScaleKernels>& Sets() {
  static const SimdKernels<ScaleKernels> sets(scale_kernels_detail::Scalar(),
                                              scale_kernels_detail::InstallSse2,
                                              scale_kernels_detail::InstallSsse3);
  return sets;
}
}  // namespace

const ScaleKernels* ScaleKernelsFor(ScaleKernelLevel level) { return Sets().At(level); }
const ScaleKernels& ActiveScaleKernels() { return Sets().Active(); }

}  // namespace vt
