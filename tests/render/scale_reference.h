#pragma once
// A straightforward, slow resampler written from the filter's definition, one
// target sample at a time with 64-bit sums and explicit range checks, to hold
// the fast one against.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/ref_counted.h"
#include "image/image_buffer.h"

namespace vt::test {

inline int32_t ReferenceTap(uint32_t phase, int k) {
  const double f = phase / 256.0;
  const double d = std::fabs(std::vector<double>{1 + f, f, 1 - f, 2 - f}[k]);
  // Keys' kernel, a = -0.5, written out with a substituted.
  double w = 0;
  if (d <= 1)
    w = 1.5 * d * d * d - 2.5 * d * d + 1;
  else if (d < 2)
    w = -0.5 * d * d * d + 2.5 * d * d - 4 * d + 2;
  return static_cast<int32_t>(std::trunc(w * 16384 + 0.5));
}

// The taps with each phase's surplus over 16384 taken off its largest tap
// (the first of equals), as the 16-bit and float passes use them.
inline int32_t ReferenceNormalizedTap(uint32_t phase, int k) {
  int32_t t[4], sum = 0;
  int largest = 0;
  for (int i = 0; i < 4; ++i) {
    t[i] = ReferenceTap(phase, i);
    sum += t[i];
    if (t[i] > t[largest]) largest = i;
  }
  t[largest] -= sum - 16384;
  return t[k];
}

inline uint32_t Channels(PixelFormat f) {
  return f == PixelFormat::Gray8 || f == PixelFormat::Gray16 || f == PixelFormat::GrayFloat ? 1 : 4;
}

inline double SampleAt(ImageBuffer* b, int64_t x, int64_t y, uint32_t c) {
  x = std::clamp<int64_t>(x, 0, b->Width() - 1);
  y = std::clamp<int64_t>(y, 0, b->Height() - 1);
  const uint32_t ch = Channels(b->Format());
  const size_t i = size_t(x) * ch + c;
  const uint8_t* row = b->Row(uint32_t(y));
  switch (b->Format()) {
    case PixelFormat::Bgra8:
    case PixelFormat::Gray8:
      return row[i];
    case PixelFormat::Bgra16:
    case PixelFormat::Gray16:
      return reinterpret_cast<const uint16_t*>(row)[i];
    default:
      return reinterpret_cast<const float*>(row)[i];
  }
}

// The cubic pass only (no box stage), into a new buffer of dw x dh.
inline RefPtr<ImageBuffer> ReferenceCubic(ImageBuffer* src, uint32_t dw, uint32_t dh) {
  const PixelFormat f = src->Format();
  RefPtr<ImageBuffer> dst = ImageBuffer::Create(f, dw, dh);
  const uint32_t ch = Channels(f);
  const uint64_t stepX = (uint64_t(src->Width()) << 16) / dw;
  const uint64_t stepY = (uint64_t(src->Height()) << 16) / dh;
  for (uint32_t y = 0; y < dh; ++y) {
    const uint64_t py = y * stepY;
    const uint32_t phy = (py >> 8) & 255;
    const int64_t ry = int64_t(py >> 16);
    for (uint32_t x = 0; x < dw; ++x) {
      const uint64_t px = x * stepX;
      const uint32_t phx = (px >> 8) & 255;
      const int64_t rx = int64_t(px >> 16);
      for (uint32_t c = 0; c < ch; ++c) {
        if (f == PixelFormat::Bgra8 || f == PixelFormat::Gray8) {
          int64_t v = 0;
          for (int j = 0; j < 4; ++j) {
            int64_t h = 0;
            for (int i = 0; i < 4; ++i)
              h += int64_t(SampleAt(src, rx - 1 + i, ry - 1 + j, c)) * ReferenceTap(phx, i);
            h = h >= 0 ? h / 128 : -((-h + 127) / 128);  // floor division
            h = std::clamp<int64_t>(h, -32768, 32767);
            v += h * ReferenceTap(phy, j);
          }
          v += int64_t(1) << 20;
          v = v >= 0 ? v / (int64_t(1) << 21) : -((-v + (int64_t(1) << 21) - 1) >> 21);
          dst->Row(y)[size_t(x) * ch + c] = uint8_t(std::clamp<int64_t>(v, 0, 255));
        } else if (f == PixelFormat::Bgra16 || f == PixelFormat::Gray16) {
          int64_t v = 0;
          for (int j = 0; j < 4; ++j) {
            int64_t h = 0;
            for (int i = 0; i < 4; ++i)
              h += int64_t(SampleAt(src, rx - 1 + i, ry - 1 + j, c)) *
                   ReferenceNormalizedTap(phx, i);
            h = int64_t(std::floor((h + 8192) / 16384.0));
            v += h * ReferenceNormalizedTap(phy, j);
          }
          v = int64_t(std::floor((v + 8192) / 16384.0));
          reinterpret_cast<uint16_t*>(dst->Row(y))[size_t(x) * ch + c] =
              uint16_t(std::clamp<int64_t>(v, 0, 65535));
        } else {
          float v = 0;
          for (int j = 0; j < 4; ++j) {
            float h = 0;
            for (int i = 0; i < 4; ++i) {
              const float p = float(SampleAt(src, rx - 1 + i, ry - 1 + j, c)) *
                              (float(ReferenceNormalizedTap(phx, i)) * (1.0f / 16384));
              h = i == 0 ? p : h + p;
            }
            const float q = h * (float(ReferenceNormalizedTap(phy, j)) * (1.0f / 16384));
            v = j == 0 ? q : v + q;
          }
          reinterpret_cast<float*>(dst->Row(y))[size_t(x) * ch + c] = v;
        }
      }
    }
  }
  return dst;
}

// The rounded mean of f x f blocks (float: plain mean).
inline RefPtr<ImageBuffer> ReferenceBox(ImageBuffer* src, uint32_t f) {
  const PixelFormat fmt = src->Format();
  const uint32_t dw = src->Width() / f, dh = src->Height() / f, ch = Channels(fmt);
  RefPtr<ImageBuffer> dst = ImageBuffer::Create(fmt, dw, dh);
  for (uint32_t y = 0; y < dh; ++y)
    for (uint32_t x = 0; x < dw; ++x)
      for (uint32_t c = 0; c < ch; ++c) {
        double s = 0;
        for (uint32_t j = 0; j < f; ++j)
          for (uint32_t i = 0; i < f; ++i) s += SampleAt(src, x * f + i, y * f + j, c);
        const size_t at = size_t(x) * ch + c;
        if (fmt == PixelFormat::Bgra8 || fmt == PixelFormat::Gray8)
          dst->Row(y)[at] = uint8_t(std::floor(s / (f * f) + 0.5));
        else if (fmt == PixelFormat::Bgra16 || fmt == PixelFormat::Gray16)
          reinterpret_cast<uint16_t*>(dst->Row(y))[at] = uint16_t(std::floor(s / (f * f) + 0.5));
        else
          reinterpret_cast<float*>(dst->Row(y))[at] = float(s / (f * f));
      }
  return dst;
}

// Random samples; float samples in [-0.25, 1.25] so that overshoot is exercised.
inline RefPtr<ImageBuffer> RandomImage(PixelFormat f, uint32_t w, uint32_t h, uint32_t seed) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(f, w, h);
  uint32_t s = seed * 2654435761u + 12345;
  auto next = [&] {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  };
  const size_t n = size_t(w) * Channels(f);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = b->Row(y);
    for (size_t i = 0; i < n; ++i) {
      switch (f) {
        case PixelFormat::Bgra8:
        case PixelFormat::Gray8:
          row[i] = uint8_t(next());
          break;
        case PixelFormat::Bgra16:
        case PixelFormat::Gray16:
          reinterpret_cast<uint16_t*>(row)[i] = uint16_t(next());
          break;
        default:
          reinterpret_cast<float*>(row)[i] = float(next() % 3000) / 2000.0f - 0.25f;
          break;
      }
    }
  }
  return b;
}

// Pixel bytes equal (floats compared as bits) over the width, not the slack.
inline ::testing::AssertionResult SamePixels(ImageBuffer* a, ImageBuffer* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height() || a->Format() != b->Format())
    return ::testing::AssertionFailure() << "different size or format";
  const size_t bytes = size_t(a->Width()) * a->BytesPerPixel();
  for (uint32_t y = 0; y < a->Height(); ++y) {
    if (std::memcmp(a->Row(y), b->Row(y), bytes) != 0) {
      for (size_t i = 0; i < bytes; ++i)
        if (a->Row(y)[i] != b->Row(y)[i])
          return ::testing::AssertionFailure()
                 << "row " << y << " byte " << i << ": " << int(a->Row(y)[i]) << " vs "
                 << int(b->Row(y)[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

// Float samples within tol of each other; other formats exactly equal.
inline ::testing::AssertionResult NearPixels(ImageBuffer* a, ImageBuffer* b, float tol) {
  if (!IsFloatFormat(a->Format()) || a->Format() != b->Format() || a->Width() != b->Width() ||
      a->Height() != b->Height())
    return SamePixels(a, b);
  const size_t n = size_t(a->Width()) * Channels(a->Format());
  for (uint32_t y = 0; y < a->Height(); ++y)
    for (size_t i = 0; i < n; ++i) {
      const float u = reinterpret_cast<const float*>(a->Row(y))[i];
      const float v = reinterpret_cast<const float*>(b->Row(y))[i];
      if (!(std::fabs(u - v) <= tol))
        return ::testing::AssertionFailure() << "row " << y << " sample " << i << ": " << u
                                             << " vs " << v;
    }
  return ::testing::AssertionSuccess();
}

}  // namespace vt::test
