#include "render/scale_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/test_support.h"

namespace vt {
namespace {

// Every vector level present, compared with the scalar set.
std::vector<std::pair<const char*, const ScaleKernels*>> VectorSets() {
  std::vector<std::pair<const char*, const ScaleKernels*>> sets;
  if (const ScaleKernels* k = ScaleKernelsFor(ScaleKernelLevel::Sse2)) sets.push_back({"sse2", k});
  if (const ScaleKernels* k = ScaleKernelsFor(ScaleKernelLevel::Ssse3)) sets.push_back({"ssse3", k});
  return sets;
}

const ScaleKernels& Scalar() { return *ScaleKernelsFor(ScaleKernelLevel::Scalar); }

// A column table over a row of sw pixels for dw columns (interior columns only,
// as the resampler hands them to the kernels), with random phases; pick makes
// every phase 0.
std::vector<ColumnTap> Columns(uint32_t sw, uint32_t dw, uint32_t seed, bool pick) {
  std::vector<uint8_t> r = test::RandomBytes(dw * 2 + 8, seed);
  std::vector<ColumnTap> t(dw);
  for (uint32_t i = 0; i < dw; ++i) {
    t[i].first = int32_t((uint64_t(i) * (sw - 3)) / dw);  // 0 .. sw - 4
    const int16_t* taps = CubicTaps(pick ? 0 : r[2 * i]);
    std::memcpy(t[i].tap, taps, sizeof t[i].tap);
  }
  return t;
}

// Extreme samples (0 and 255) are frequent so that saturation is exercised.
std::vector<uint8_t> Pixels(size_t n, uint32_t seed) {
  std::vector<uint8_t> v = test::RandomBytes(n, seed);
  for (size_t i = 0; i < n; ++i) {
    if (v[i] % 5 == 0) v[i] = 0;
    else if (v[i] % 5 == 1) v[i] = 255;
  }
  return v;
}

TEST(ScaleKernels, HorizontalPassesMatchScalar) {
  for (auto [name, k] : VectorSets()) {
    for (uint32_t sw : {4u, 5u, 9u, 17u, 64u, 301u}) {
      for (uint32_t dw : {1u, 2u, 3u, 5u, 8u, 15u, 33u, 130u}) {
        for (uint32_t begin : {0u, 1u, 3u}) {
          if (begin >= dw) continue;
          const uint32_t seed = sw * 1000 + dw * 10 + begin;
          for (bool pick : {false, true}) {
            std::vector<ColumnTap> t = Columns(sw, dw, seed, pick);
            std::vector<uint8_t> row = Pixels(sw * 4 + 1, seed);
            const uint8_t* src = row.data() + 1;  // unaligned
            std::vector<int16_t> a(dw * 4 + 8, 7), b(dw * 4 + 8, 7);
            if (pick) {
              k->pickBgra8(a.data(), src, t.data(), begin, dw);
              Scalar().pickBgra8(b.data(), src, t.data(), begin, dw);
              ASSERT_EQ(a, b) << name << " pickBgra8 " << sw << " " << dw << " " << begin;
              k->pickGray8(a.data(), src, t.data(), begin, dw);
              Scalar().pickGray8(b.data(), src, t.data(), begin, dw);
              ASSERT_EQ(a, b) << name << " pickGray8 " << sw << " " << dw << " " << begin;
              continue;
            }
            k->horizontalBgra8(a.data(), src, t.data(), begin, dw);
            Scalar().horizontalBgra8(b.data(), src, t.data(), begin, dw);
            ASSERT_EQ(a, b) << name << " Bgra8 " << sw << " " << dw << " " << begin;
            k->horizontalGray8(a.data(), src, t.data(), begin, dw);
            Scalar().horizontalGray8(b.data(), src, t.data(), begin, dw);
            ASSERT_EQ(a, b) << name << " Gray8 " << sw << " " << dw << " " << begin;

            std::vector<float> fr(sw * 4), ft(dw * 4);
            for (size_t i = 0; i < fr.size(); ++i) fr[i] = row[i] / 200.0f - 0.3f;
            for (uint32_t i = 0; i < dw; ++i)
              for (int j = 0; j < 4; ++j) ft[4 * i + j] = t[i].tap[j] / 16384.0f;
            std::vector<float> fa(dw * 4, 1.0f), fb(dw * 4, 1.0f);
            k->horizontalBgraF(fa.data(), fr.data(), t.data(), ft.data(), begin, dw);
            Scalar().horizontalBgraF(fb.data(), fr.data(), t.data(), ft.data(), begin, dw);
            ASSERT_EQ(std::memcmp(fa.data(), fb.data(), fa.size() * 4), 0) << name << " BgraF";
            k->horizontalGrayF(fa.data(), fr.data(), t.data(), ft.data(), begin, dw);
            Scalar().horizontalGrayF(fb.data(), fr.data(), t.data(), ft.data(), begin, dw);
            ASSERT_EQ(std::memcmp(fa.data(), fb.data(), fa.size() * 4), 0) << name << " GrayF";
          }
        }
      }
    }
  }
}

TEST(ScaleKernels, VerticalPassesMatchScalar) {
  for (auto [name, k] : VectorSets()) {
    for (size_t n : {1u, 7u, 8u, 15u, 16u, 17u, 31u, 64u, 129u}) {
      for (uint32_t phase : {0u, 1u, 37u, 64u, 128u, 200u, 255u}) {
        std::vector<int16_t> rows[4];
        std::vector<float> frows[4];
        for (int r = 0; r < 4; ++r) {
          std::vector<uint8_t> bytes = test::RandomBytes(n * 2 + 2, uint32_t(n * 31 + phase * 7 + r));
          rows[r].resize(n + 1);
          frows[r].resize(n + 1);
          for (size_t i = 0; i < n + 1; ++i) {
            // Intermediates span the whole 16-bit range, extremes included.
            int16_t v = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
            if (bytes[2 * i] % 7 == 0) v = bytes[2 * i] & 8 ? 32767 : -32768;
            rows[r][i] = v;
            frows[r][i] = v / 9000.0f;
          }
        }
        const int16_t* p[4] = {rows[0].data() + 1, rows[1].data() + 1, rows[2].data() + 1,
                               rows[3].data() + 1};
        std::vector<uint8_t> a(n + 1, 3), b(n + 1, 3);
        k->vertical8(a.data() + 1, p, CubicTaps(phase), n);
        Scalar().vertical8(b.data() + 1, p, CubicTaps(phase), n);
        ASSERT_EQ(a, b) << name << " vertical8 n=" << n << " phase " << phase;

        const float* fp[4] = {frows[0].data(), frows[1].data(), frows[2].data(), frows[3].data()};
        std::vector<float> fa(n), fb(n);
        k->verticalF(fa.data(), fp, CubicTapsFloat(phase), n);
        Scalar().verticalF(fb.data(), fp, CubicTapsFloat(phase), n);
        ASSERT_EQ(std::memcmp(fa.data(), fb.data(), n * 4), 0) << name << " verticalF " << n;
      }
    }
  }
}

TEST(ScaleKernels, BoxPassesMatchScalar) {
  for (auto [name, k] : VectorSets()) {
    for (size_t n : {1u, 3u, 4u, 5u, 8u, 15u, 16u, 17u, 33u, 100u}) {
      const size_t pitch = n * 8 * 16 + 5;
      std::vector<uint8_t> src = Pixels(pitch * 16 + 1, uint32_t(n));
      std::vector<uint8_t> a(n * 4 + 4, 9), b(n * 4 + 4, 9);
      k->box2Bgra8(a.data(), src.data() + 1, pitch, n);
      Scalar().box2Bgra8(b.data(), src.data() + 1, pitch, n);
      ASSERT_EQ(a, b) << name << " box2Bgra8 " << n;
      k->box2Gray8(a.data(), src.data() + 1, pitch, n);
      Scalar().box2Gray8(b.data(), src.data() + 1, pitch, n);
      ASSERT_EQ(a, b) << name << " box2Gray8 " << n;

      for (uint32_t factor : {2u, 4u, 8u, 16u}) {
        const size_t values = n * factor * 4;
        std::vector<uint16_t> sa(values, 0), sb(values, 0);
        for (uint32_t r = 0; r < factor; ++r) {
          k->accumulate8(sa.data(), src.data() + 1 + r * pitch, values);
          Scalar().accumulate8(sb.data(), src.data() + 1 + r * pitch, values);
        }
        ASSERT_EQ(sa, sb) << name << " accumulate8 " << n << " by " << factor;
        k->boxSumsBgra8(a.data(), sa.data(), factor, n);
        Scalar().boxSumsBgra8(b.data(), sb.data(), factor, n);
        ASSERT_EQ(a, b) << name << " boxSumsBgra8 " << n << " by " << factor;
      }
    }
  }
}

// The gray sums come from accumulate8 over factor rows (as the box pass makes
// them) of random, all-black and all-white rows, and straight from random
// column sums up to factor x 255; white 16 x 16 blocks reach the 16-bit limit.
TEST(ScaleKernels, GrayBoxSumsMatchScalar) {
  std::vector<size_t> widths;
  for (size_t n = 1; n <= 40; ++n) widths.push_back(n);
  for (size_t n : {63u, 64u, 65u, 100u, 257u}) widths.push_back(n);
  for (auto [name, k] : VectorSets()) {
    for (uint32_t factor : {2u, 4u, 8u, 16u}) {
      for (size_t n : widths) {
        for (size_t offset : {0u, 1u, 3u}) {
          const size_t values = n * factor;
          const size_t pitch = values + 7;
          const uint32_t seed = uint32_t(factor * 100000 + n * 10 + offset);
          std::vector<std::vector<uint16_t>> inputs;
          for (int fill : {-1, 0, 255}) {
            std::vector<uint8_t> src = Pixels(pitch * factor + offset, seed);
            if (fill >= 0) std::fill(src.begin(), src.end(), uint8_t(fill));
            std::vector<uint16_t> sa(values + offset, 0), sb(values + offset, 0);
            for (uint32_t r = 0; r < factor; ++r) {
              k->accumulate8(sa.data() + offset, src.data() + offset + r * pitch, values);
              Scalar().accumulate8(sb.data() + offset, src.data() + offset + r * pitch, values);
            }
            ASSERT_EQ(sa, sb) << name << " accumulate8 " << n << " by " << factor;
            inputs.push_back(std::move(sa));
          }
          std::vector<uint8_t> bytes = test::RandomBytes(2 * (values + offset), seed + 1);
          std::vector<uint16_t> direct(values + offset);
          for (size_t i = 0; i < direct.size(); ++i)
            direct[i] = uint16_t((bytes[2 * i] | bytes[2 * i + 1] << 8) % (factor * 255 + 1));
          inputs.push_back(std::move(direct));

          for (const std::vector<uint16_t>& sums : inputs) {
            std::vector<uint8_t> a(n + 2, 9), b(n + 2, 9);
            k->boxSumsGray8(a.data() + 1, sums.data() + offset, factor, n);
            Scalar().boxSumsGray8(b.data() + 1, sums.data() + offset, factor, n);
            ASSERT_EQ(a, b) << name << " boxSumsGray8 " << n << " by " << factor << " offset "
                            << offset;
          }
        }
      }
    }
  }
}

// The scalar reference itself on blocks whose averages are known: a 16 x 16
// white block is 255, the half-way sums round up, one below rounds down.
TEST(ScaleKernels, GrayBoxSumsRoundToNearest) {
  for (auto [name, k] : std::vector<std::pair<const char*, const ScaleKernels*>>{
           {"scalar", &Scalar()}, {"active", &ActiveScaleKernels()}}) {
    for (uint32_t factor : {2u, 4u, 8u, 16u}) {
      const uint32_t area = factor * factor;
      // Column sums of one block each: the full white block, area x 17 + area / 2
      // (rounds up to 18) and one less (rounds down to 17).
      std::vector<uint32_t> totals = {area * 255, area * 17 + area / 2, area * 17 + area / 2 - 1};
      const size_t n = 8 * totals.size();  // wide enough for the vector blocks
      std::vector<uint16_t> sums(n * factor, 0);
      std::vector<uint8_t> expected(n, 0);
      for (size_t i = 0; i < n; ++i) {
        uint32_t left = totals[i % totals.size()];
        for (uint32_t c = 0; c < factor; ++c) {
          const uint32_t v = std::min(left, factor * 255);
          sums[i * factor + c] = uint16_t(v);
          left -= v;
        }
        expected[i] = uint8_t(std::vector<int>{255, 18, 17}[i % totals.size()]);
      }
      std::vector<uint8_t> out(n, 0);
      k->boxSumsGray8(out.data(), sums.data(), factor, n);
      EXPECT_EQ(out, expected) << name << " by " << factor;
    }
  }
}

}  // namespace
}  // namespace vt
