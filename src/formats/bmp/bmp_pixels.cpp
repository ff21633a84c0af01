#include "formats/bmp/bmp_pixels.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/bmp/bmp_rows.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

static_assert(std::endian::native == std::endian::little,
              "32-bit pixels are moved as little-endian words");

// Planes at least this large are written past the caches: they cannot stay
// cached anyway, and stores that skip the cache save reading each target line
// before it is overwritten. Smaller planes stay cached for whoever shows them.
constexpr uint64_t kStreamingPlaneBytes = uint64_t{16} << 20;

// One colour mask reduced to a shift-and-mask step. Masks wider than 8 bits keep
// their top 8 bits. A component is moved down to bit 0 and then up to fill the
// top of its byte, so a 5-bit 31 becomes 248: the low bits are zero rather than
// a copy of the high bits.
struct BitField {
  uint32_t mask = 0;
  uint8_t down = 0;
  uint8_t up = 0;

  static BitField From(uint32_t mask) {
    BitField f;
    if (mask == 0) return f;
    uint32_t low = static_cast<uint32_t>(std::countr_zero(mask));
    const uint32_t high = 31 - static_cast<uint32_t>(std::countl_zero(mask));
    if (high - low + 1 > 8) {
      low = high - 7;
      mask &= 0xFFu << low;
    }
    f.mask = mask;
    f.down = static_cast<uint8_t>(low);
    f.up = static_cast<uint8_t>(8 - (high - low + 1));
    return f;
  }
  uint32_t Extract(uint32_t pixel) const { return ((pixel & mask) >> down) << up; }
};

struct BitFields {
  BitField red, green, blue, alpha;
  bool hasAlpha = false;

  uint32_t ToBgra(uint32_t p) const {
    const uint32_t a = hasAlpha ? alpha.Extract(p) : 0xFFu;
    return blue.Extract(p) | green.Extract(p) << 8 | red.Extract(p) << 16 | a << 24;
  }
};

void BitFields16Row(uint8_t* dst, const uint8_t* src, size_t n, const BitFields& f) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = uint32_t{src[2 * i]} | uint32_t{src[2 * i + 1]} << 8;
    const uint32_t v = f.ToBgra(p);
    std::memcpy(dst + 4 * i, &v, 4);
  }
}

void BitFields32Row(uint8_t* dst, const uint8_t* src, size_t n, const BitFields& f) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t p;
    std::memcpy(&p, src + 4 * i, 4);
    const uint32_t v = f.ToBgra(p);
    std::memcpy(dst + 4 * i, &v, 4);
  }
}

void Opaque32Row(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t p;
    std::memcpy(&p, src + 4 * i, 4);
    p |= 0xFF000000u;
    std::memcpy(dst + 4 * i, &p, 4);
  }
}

}  // namespace

uint64_t BmpStoredRowBytes(uint64_t width, uint32_t bitDepth) {
  return ((width * bitDepth + 7) / 8 + 3) & ~uint64_t{3};
}

Status DecodeBmpRows(ByteCursor pixels, const BmpRowLayout& layout, const PlaneView& plane,
                     ProgressSink* progress, const CancelFlag* cancel) {
  const uint32_t width = layout.width;
  const uint32_t height = layout.height;
  const uint32_t depth = layout.bitDepth;
  const uint64_t rowBytes = BmpStoredRowBytes(width, depth);
  const uint32_t outBytes = depth <= 8 ? 1 : 4;
  BitFields fields;
  const bool useFields = depth == 16 || (depth == 32 && layout.bitFields);
  if (useFields) {
    fields.red = BitField::From(layout.redMask);
    fields.green = BitField::From(layout.greenMask);
    fields.blue = BitField::From(layout.blueMask);
    fields.alpha = BitField::From(layout.alphaMask);
    fields.hasAlpha = layout.alphaMask != 0;
  }
  const bool keepAlpha = layout.alphaMask == 0xFF000000u;
  const BmpRowKernels& kernels = ActiveBmpRowKernels();
  const bool streaming = depth == 24 && uint64_t{width} * 4 * height >= kStreamingPlaneBytes;
  struct Fence {
    const BmpRowKernels& k;
    bool on;
    ~Fence() {
      if (on) k.finishStreaming();
    }
  } fence{kernels, streaming};

  for (uint32_t i = 0; i < height; ++i) {
    uint8_t* dst = plane.Row(layout.topDown ? i : height - 1 - i);
    const std::span<const uint8_t> row = pixels.RowAt(uint64_t{i} * rowBytes, rowBytes);
    const uint8_t* src = row.data();
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(width, row.size() * 8 / depth));

    if (n > 0) {
      switch (depth) {
        case 1:
          Expand1Bit(dst, src, n);
          break;
        case 4:
          Expand4Bit(dst, src, n);
          break;
        case 8:
          std::memcpy(dst, src, n);
          break;
        case 16:
          BitFields16Row(dst, src, n, fields);
          break;
        case 24:
          if (streaming) {
            kernels.bgr24ToBgra32Streaming(dst, src, n);
          } else {
            Bgr8ToBgra8(dst, src, n);
          }
          break;
        case 32:
          if (useFields) {
            BitFields32Row(dst, src, n, fields);
          } else if (keepAlpha) {
            std::memcpy(dst, src, size_t{n} * 4);
          } else {
            Opaque32Row(dst, src, n);
          }
          break;
        default:
          break;
      }
    }
    if (n < width) {
      // The data end here: the rest of the image has none.
      std::memset(dst + size_t{n} * outBytes, 0, size_t{width - n} * outBytes);
      for (uint32_t j = i + 1; j < height; ++j)
        std::memset(plane.Row(layout.topDown ? j : height - 1 - j), 0, size_t{width} * outBytes);
      return status::kOk;
    }
    if ((i & 31) == 31 && progress) progress->Report(i, height);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  return status::kOk;
}

}  // namespace vt
