// DirectDraw surfaces.
//
// Layout as documented for DDS_HEADER and DDS_PIXELFORMAT: "DDS ", a header
// whose size field comes first (124 in every real file), the pixel format at
// file offset 76, the capabilities at 108, then the pixels of the top mipmap
// level. All integers are little-endian.
//
// Damaged files. The header must be whole (the probe asks for 128 bytes), its
// dimensions non-zero and within the image limits, and the file must hold a
// real share of the pixels or blocks they declare. Past that nothing is
// refused: pixel rows or blocks that the file does not hold, wholly or in
// part, decode as transparent black, so a truncated file gives the part of the
// surface that arrived and Decode never fails on file contents. A header pitch
// smaller than one row of pixels is taken as the row itself.
//
// Block colours. DXT1 chooses between four opaque colours and three colours
// plus transparent black by the order of its end points; the formats with
// their own alpha (DXT2 to DXT5) always use four colours, because their colour
// blocks have no transparent entry: taking the three-colour reading there
// turns one colour of such blocks black.
#include "formats/dds/dds_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/byte_cursor.h"

namespace vt {

namespace {

constexpr size_t kProbeMinimum = 128;
constexpr uint8_t kSignature[4] = {'D', 'D', 'S', ' '};

constexpr uint32_t kHeaderPitch = 0x8;
constexpr uint32_t kPixelAlpha = 0x1;
constexpr uint32_t kPixelFourCc = 0x4;
constexpr uint32_t kPixelRgb = 0x40;
constexpr uint32_t kPixelPremultiplied = 0x8000;
constexpr uint32_t kCapsTexture = 0x1000;

// Source bit-depth codes the block formats report.
constexpr uint32_t kDxt1Code = 23;
constexpr uint32_t kPremultipliedBlockCode = 26;
constexpr uint32_t kStraightBlockCode = 30;

constexpr uint32_t FourCc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

uint32_t Bgra(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return b | g << 8 | r << 16 | a << 24;
}

// The four colours of a colour block (8 bytes: two 5-6-5 end points, then 2-bit
// indices, least significant bits first).
void DecodeColours(const uint8_t* block, bool allowTransparent, uint32_t out[16]) {
  const uint32_t e0 = uint32_t{block[0]} | uint32_t{block[1]} << 8;
  const uint32_t e1 = uint32_t{block[2]} | uint32_t{block[3]} << 8;
  auto expand = [](uint32_t e, uint32_t* r, uint32_t* g, uint32_t* b) {
    *r = ((e >> 11) * 255 + 15) / 31;
    *g = ((e >> 5 & 0x3F) * 255 + 31) / 63;
    *b = ((e & 0x1F) * 255 + 15) / 31;
  };
  uint32_t r0, g0, b0, r1, g1, b1;
  expand(e0, &r0, &g0, &b0);
  expand(e1, &r1, &g1, &b1);
  uint32_t colour[4];
  colour[0] = Bgra(b0, g0, r0, 255);
  colour[1] = Bgra(b1, g1, r1, 255);
  if (e0 > e1 || !allowTransparent) {
    colour[2] = Bgra((2 * b0 + b1 + 1) / 3, (2 * g0 + g1 + 1) / 3, (2 * r0 + r1 + 1) / 3, 255);
    colour[3] = Bgra((b0 + 2 * b1 + 1) / 3, (g0 + 2 * g1 + 1) / 3, (r0 + 2 * r1 + 1) / 3, 255);
  } else {
    colour[2] = Bgra((b0 + b1 + 1) / 2, (g0 + g1 + 1) / 2, (r0 + r1 + 1) / 2, 255);
    colour[3] = 0;
  }
  const uint32_t indices = uint32_t{block[4]} | uint32_t{block[5]} << 8 |
                           uint32_t{block[6]} << 16 | uint32_t{block[7]} << 24;
  for (int i = 0; i < 16; ++i) out[i] = colour[indices >> (2 * i) & 3];
}

void SetAlpha(uint32_t* pixel, uint32_t alpha) { *pixel = (*pixel & 0x00FFFFFFu) | alpha << 24; }

void DecodeExplicitAlpha(const uint8_t* block, uint32_t out[16]) {
  for (int i = 0; i < 16; ++i) {
    const uint32_t nibble = block[i / 2] >> (4 * (i & 1)) & 0xF;
    SetAlpha(&out[i], nibble * 17);
  }
}

void DecodeInterpolatedAlpha(const uint8_t* block, uint32_t out[16]) {
  const uint32_t a0 = block[0];
  const uint32_t a1 = block[1];
  uint32_t value[8] = {a0, a1};
  if (a0 > a1) {
    for (uint32_t k = 1; k <= 6; ++k) value[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
  } else {
    for (uint32_t k = 1; k <= 4; ++k) value[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
    value[6] = 0;
    value[7] = 255;
  }
  uint64_t indices = 0;
  for (int i = 0; i < 6; ++i) indices |= uint64_t{block[2 + i]} << (8 * i);
  for (int i = 0; i < 16; ++i) SetAlpha(&out[i], value[indices >> (3 * i) & 7]);
}

// One colour mask as a shift and a field width.
struct Channel {
  uint32_t shift = 0;
  uint64_t max = 0;  // 2^n - 1; 0 for an empty mask

  static Channel From(uint32_t mask) {
    Channel c;
    if (mask == 0) return c;
    c.shift = static_cast<uint32_t>(std::countr_zero(mask));
    c.max = (uint64_t{1} << std::popcount(mask)) - 1;
    return c;
  }
  uint32_t Extract(uint32_t pixel, uint32_t empty) const {
    if (max == 0) return empty;
    return static_cast<uint32_t>(((pixel >> shift) & max) * 255 / max);
  }
};

class DdsReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  Status DecodeRgb(const PlaneView& plane, ProgressSink* progress, const CancelFlag* cancel) const;
  Status DecodeBlocks(const PlaneView& plane, ProgressSink* progress,
                      const CancelFlag* cancel) const;
  size_t BlockBytes() const { return blockKind_ == DdsBlockKind::Dxt1 ? 8 : 16; }

  uint64_t dataPos_ = 0;
  uint64_t pitch_ = 0;
  uint32_t pixelBytes_ = 0;
  uint32_t masks_[4] = {};
  bool blocks_ = false;
  DdsBlockKind blockKind_ = DdsBlockKind::Dxt1;
};

Status DdsReader::ReadHeader() {
  ByteCursor file = FileCursor();
  if (file.Size() < kProbeMinimum || !file.StartsWith(kSignature)) return status::kUnknownFormat;
  file.Seek(4);
  const uint32_t headerSize = file.U32LE();
  const uint32_t flags = file.U32LE();
  const uint32_t height = file.U32LE();
  const uint32_t width = file.U32LE();
  const uint32_t pitch = file.U32LE();
  file.Seek(80);
  const uint32_t pixelFlags = file.U32LE();
  const uint32_t fourCc = file.U32LE();
  const uint32_t bits = file.U32LE();
  for (uint32_t& m : masks_) m = file.U32LE();
  const uint32_t caps = file.U32LE();
  if (!file.Ok()) return status::kDamaged;
  if (!(caps & kCapsTexture)) return status::kUnsupportedSubformat;

  if (pixelFlags & kPixelRgb) {
    if (bits < 9 || bits > 32) return status::kUnsupportedSubformat;
    blocks_ = false;
    bitDepth_ = bits;
    pixelBytes_ = (bits + 7) / 8;
    const uint64_t rowBytes = uint64_t{pixelBytes_} * width;
    pitch_ = (flags & kHeaderPitch) ? std::max<uint64_t>(pitch, rowBytes)
                                    : (rowBytes + 3) & ~uint64_t{3};
    alpha_ = (pixelFlags & kPixelPremultiplied) ? AlphaMode::Premultiplied
             : (pixelFlags & kPixelAlpha)       ? AlphaMode::Straight
                                                : AlphaMode::None;
    minStride_ = 0;
    minRows_ = 0;
  } else if (pixelFlags & kPixelFourCc) {
    blocks_ = true;
    switch (fourCc) {
      case FourCc('D', 'X', 'T', '1'):
        blockKind_ = DdsBlockKind::Dxt1;
        bitDepth_ = kDxt1Code;
        alpha_ = AlphaMode::Premultiplied;
        break;
      case FourCc('D', 'X', 'T', '2'):
        blockKind_ = DdsBlockKind::ExplicitAlpha;
        bitDepth_ = kPremultipliedBlockCode;
        alpha_ = AlphaMode::Premultiplied;
        break;
      case FourCc('D', 'X', 'T', '4'):
        blockKind_ = DdsBlockKind::InterpolatedAlpha;
        bitDepth_ = kPremultipliedBlockCode;
        alpha_ = AlphaMode::Premultiplied;
        break;
      case FourCc('D', 'X', 'T', '3'):
        blockKind_ = DdsBlockKind::ExplicitAlpha;
        bitDepth_ = kStraightBlockCode;
        alpha_ = AlphaMode::Straight;
        break;
      case FourCc('D', 'X', 'T', '5'):
        blockKind_ = DdsBlockKind::InterpolatedAlpha;
        bitDepth_ = kStraightBlockCode;
        alpha_ = AlphaMode::Straight;
        break;
      default:
        return status::kUnsupportedSubformat;
    }
  } else {
    return status::kUnsupportedSubformat;
  }

  if (!WithinFrameLimits(width, height, 4)) return status::kDamaged;
  width_ = width;
  height_ = height;
  dataPos_ = uint64_t{4} + headerSize;
  if (blocks_) {
    // Whole blocks fit the plane, though Decode clips them anyway.
    minStride_ = (width_ + 3) / 4 * 16;
    minRows_ = (height_ + 3) & ~uint32_t{3};
    pixelData_.declared = uint64_t{(width_ + 3) / 4} * ((height_ + 3) / 4) * BlockBytes();
  } else {
    pixelData_.declared = pitch_ * (height_ - 1) + uint64_t{pixelBytes_} * width_;
  }
  pixelData_.present = file.Size() > dataPos_ ? file.Size() - dataPos_ : 0;
  outputFormat_ = PixelFormat::Bgra8;
  model_ = ColourModel::Rgb;
  return status::kOk;
}

Status DdsReader::DecodeRgb(const PlaneView& plane, ProgressSink* progress,
                            const CancelFlag* cancel) const {
  const ByteCursor file = FileCursor();
  const Channel red = Channel::From(masks_[0]);
  const Channel green = Channel::From(masks_[1]);
  const Channel blue = Channel::From(masks_[2]);
  // Without an alpha mask the fourth byte means nothing; opaque is the safest.
  const Channel alpha = Channel::From(alpha_ == AlphaMode::None ? 0 : masks_[3]);
  for (uint32_t y = 0; y < height_; ++y) {
    uint32_t* dst = plane.RowAs<uint32_t>(y);
    const std::span<const uint8_t> src =
        file.RowAt(dataPos_ + uint64_t{y} * pitch_, uint64_t{width_} * pixelBytes_);
    const uint32_t n = static_cast<uint32_t>(src.size() / pixelBytes_);
    for (uint32_t x = 0; x < n; ++x) {
      uint32_t p = 0;
      for (uint32_t k = 0; k < pixelBytes_; ++k) p |= uint32_t{src[x * pixelBytes_ + k]} << (8 * k);
      dst[x] = Bgra(blue.Extract(p, 0), green.Extract(p, 0), red.Extract(p, 0),
                    alpha.Extract(p, 255));
    }
    std::fill(dst + n, dst + width_, 0u);
    if (progress && (y & 31) == 31) progress->Report(y, height_);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  return status::kOk;
}

Status DdsReader::DecodeBlocks(const PlaneView& plane, ProgressSink* progress,
                               const CancelFlag* cancel) const {
  const ByteCursor file = FileCursor();
  const size_t blockBytes = BlockBytes();
  const uint32_t across = (width_ + 3) / 4;
  const uint32_t down = (height_ + 3) / 4;
  const uint64_t rowBytes = uint64_t{across} * blockBytes;
  for (uint32_t by = 0; by < down; ++by) {
    ByteCursor blocks(file.RowAt(dataPos_ + uint64_t{by} * rowBytes, rowBytes));
    const uint32_t rows = std::min<uint32_t>(4, height_ - by * 4);
    for (uint32_t bx = 0; bx < across; ++bx) {
      uint32_t pixels[16] = {};
      const std::span<const uint8_t> block = blocks.Bytes(blockBytes);
      if (!block.empty()) DecodeDdsBlock(blockKind_, block.data(), pixels);
      const uint32_t x = bx * 4;
      const uint32_t cols = std::min<uint32_t>(4, width_ - x);
      for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(plane.RowAs<uint32_t>(by * 4 + r) + x, pixels + 4 * r, cols * 4);
    }
    if (progress && (by & 7) == 7) progress->Report(by * 4, height_);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  return status::kOk;
}

Status DdsReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(PixelFormat::Bgra8);
  if (!plane) return status::kUnsupportedColourFormat;
  if (plane.width != width_ || plane.height != height_) return status::kInvalidArgument;
  return blocks_ ? DecodeBlocks(plane, progress, cancel) : DecodeRgb(plane, progress, cancel);
}

}  // namespace

void DecodeDdsBlock(DdsBlockKind kind, const uint8_t* block, uint32_t out[16]) {
  switch (kind) {
    case DdsBlockKind::Dxt1:
      DecodeColours(block, true, out);
      break;
    case DdsBlockKind::ExplicitAlpha:
      DecodeColours(block + 8, false, out);
      DecodeExplicitAlpha(block, out);
      break;
    case DdsBlockKind::InterpolatedAlpha:
      DecodeColours(block + 8, false, out);
      DecodeInterpolatedAlpha(block, out);
      break;
  }
}

Status ProbeDds(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  return source.Cursor().StartsWith(kSignature) ? status::kOk : status::kUnknownFormat;
}

RefPtr<ImageReader> CreateDdsReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new DdsReader(source, record));
}

}  // namespace vt
