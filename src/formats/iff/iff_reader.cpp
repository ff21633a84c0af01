// IFF bitmaps (EA IFF 85): a "FORM" of type "ILBM" (bit planes) or "PBM "
// (one byte per pixel) holding chunks of a 4-character identifier, a big-endian
// size and data padded to an even length. Read here: BMHD (size, planes,
// masking, compression, transparent colour), CMAP (palette), CAMG (display
// mode: extra-half-brite, hold-and-modify), TEXT (comment) and BODY (pixels).
// Compression 1 is ByteRun1; 2 is the column-wise word compression that Atari
// ST programs write (the body holds one VDAT chunk per plane).
//
// Pixels. Up to 8 planes give palette indices (Indexed8) unless the display
// mode is hold-and-modify, whose rows are resolved to colours (Bgra8) like the
// 24-plane form (8 planes each of red, green and blue). A mask plane after each
// row's colour planes is skipped; a transparent colour makes its palette entry
// transparent. A file without CMAP gets a grey ramp over its 2^planes indices.
//
// Damaged files. The header must be whole: a file without BMHD or BODY, or
// whose BMHD is cut short, or whose size is 0 or beyond the image limits, or
// whose body holds far less than its rows need at the best ratio of its
// compression, fails with kDamaged. A chunk that runs past the end of the file
// ends the chunk walk, except BODY, which keeps the bytes the file holds. Past
// the header nothing is refused: pixel data that end early, or a run-length
// stream that is cut or overruns the image, decode as far as they go, and
// every pixel the file holds no data for reads as zero bits (index 0; black
// for 24 planes). So a truncated file that holds a real part of its data
// gives the part of the image that arrived.
#include "formats/iff/iff_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/byte_cursor.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

constexpr size_t kProbeMinimum = 40;
// A ByteRun1 repeat code is two bytes for at most 128 bytes.
constexpr BestRatio kByteRun1BestRatio{128, 2};
// A vertical-words command 1 (one command byte, a 16-bit count and the word)
// repeats a word up to 65535 times.
constexpr BestRatio kVerticalWordsBestRatio{131070, 5};

constexpr uint32_t kCamgExtraHalfBrite = 0x80;
constexpr uint32_t kCamgHoldAndModify = 0x800;

constexpr uint8_t kMaskPlane = 1;
constexpr uint8_t kMaskTransparentColour = 2;

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

uint32_t Id(const char (&s)[5]) {
  return uint32_t{uint8_t(s[0])} << 24 | uint32_t{uint8_t(s[1])} << 16 |
         uint32_t{uint8_t(s[2])} << 8 | uint32_t{uint8_t(s[3])};
}

bool IsIffHeader(ByteCursor c) {
  const uint32_t form = c.U32BE();
  c.Skip(4);
  const uint32_t type = c.U32BE();
  return c.Ok() && form == Id("FORM") && (type == Id("ILBM") || type == Id("PBM "));
}

// Repeats the value's bits until 8 are filled: 4-bit 0xA gives 0xAA, 6-bit v
// gives v * 4 + v / 16.
uint8_t WidenBits(uint32_t value, uint32_t bits) {
  uint32_t out = 0;
  int filled = 0;
  while (filled < 8) {
    out = out << bits | value;
    filled += static_cast<int>(bits);
  }
  return static_cast<uint8_t>(out >> (filled - 8));
}

class IffReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void MakePalette(uint32_t* palette) const;

  bool planar_ = true;
  uint32_t depth_ = 0;
  uint8_t masking_ = 0;
  uint8_t compression_ = 0;
  uint16_t transparent_ = 0;
  bool extraHalfBrite_ = false;
  bool holdAndModify_ = false;
  size_t cmapPos_ = 0;
  size_t cmapSize_ = 0;
  bool hasCmap_ = false;
  size_t bodyPos_ = 0;
  size_t bodySize_ = 0;
  uint64_t rowBytes_ = 0;   // per plane
  uint64_t rowStride_ = 0;  // all planes of one row, mask included
};

Status IffReader::ReadHeader() {
  ByteCursor file = FileCursor();
  if (!IsIffHeader(file)) return status::kUnknownFormat;
  file.Seek(8);
  planar_ = file.U32BE() == Id("ILBM");

  bool haveHeader = false;
  bool haveBody = false;
  while (file.Remaining() >= 8) {
    const uint32_t id = file.U32BE();
    const uint32_t size = file.U32BE();
    const size_t pos = file.Position();
    const bool whole = size <= file.Remaining();
    if (id == Id("BODY")) {
      // A cut body still holds the first rows.
      haveBody = true;
      bodyPos_ = pos;
      bodySize_ = whole ? size : file.Remaining();
    }
    if (!whole) break;
    ByteCursor chunk = file.Sub(pos, size);
    if (id == Id("BMHD")) {
      const uint16_t width = chunk.U16BE();
      const uint16_t height = chunk.U16BE();
      chunk.Skip(4);  // position
      const uint8_t planes = chunk.U8();
      const uint8_t masking = chunk.U8();
      const uint8_t compression = chunk.U8();
      chunk.Skip(1);
      const uint16_t transparent = chunk.U16BE();
      if (!chunk.Ok()) return status::kDamaged;
      if (planes == 0 || (planes > 8 && planes != 24)) return status::kUnsupportedSubformat;
      if (compression > 2) return status::kUnsupportedSubformat;
      width_ = width;
      height_ = height;
      depth_ = planes;
      masking_ = masking;
      compression_ = compression;
      transparent_ = transparent;
      haveHeader = true;
    } else if (id == Id("CMAP") && haveHeader) {
      hasCmap_ = true;
      cmapPos_ = pos;
      cmapSize_ = size;
    } else if (id == Id("CAMG")) {
      const uint32_t mode = chunk.U32BE();
      if (chunk.Ok()) {
        extraHalfBrite_ = (mode & kCamgExtraHalfBrite) != 0;
        holdAndModify_ = (mode & kCamgHoldAndModify) != 0;
      }
    } else if (id == Id("TEXT") && !Properties().Has(PropertyId::Comment)) {
      const std::span<const uint8_t> text = chunk.Rest();
      Properties().SetRaw(PropertyId::Comment, text.data(), static_cast<int32_t>(text.size()),
                          TextEncoding::Bytes8);
    }
    file.Seek(pos + size);
    if (size & 1) file.Skip(1);
  }
  if (!haveHeader || !haveBody) return status::kDamaged;
  if (!WithinFrameLimits(width_, height_, 1)) return status::kDamaged;
  // Hold-and-modify needs two control bits and at least one value bit.
  if (depth_ > 8 || depth_ < 3) holdAndModify_ = false;
  // Chunky data have one byte per pixel, whatever the plane count says.
  if (!planar_ && depth_ > 8) return status::kUnsupportedSubformat;

  if (planar_) {
    rowBytes_ = (uint64_t{width_} + 15) / 16 * 2;
    rowStride_ = rowBytes_ * (depth_ + (masking_ == kMaskPlane ? 1 : 0));
  } else {
    rowBytes_ = (uint64_t{width_} + 1) & ~uint64_t{1};
    rowStride_ = rowBytes_;
  }
  // The whole expanded image is held at once (up to 25 planes of it).
  uint64_t total = 0;
  if (!CheckedMul(rowStride_, height_, kImageLimits.maxFrameBytes, &total))
    return status::kDamaged;
  pixelData_ = {total, bodySize_,
                compression_ == 1   ? kByteRun1BestRatio
                : compression_ == 2 ? kVerticalWordsBestRatio
                                    : kStoredPlain};

  if (compression_ != 0)
    Properties().SetRaw(PropertyId::Compression, "RLE", -1, TextEncoding::Bytes8);
  // The column-wise form fills bit planes word by word.
  if (compression_ == 2 && (!planar_ || depth_ > 8)) return status::kUnsupportedSubformat;
  bitDepth_ = depth_;
  model_ = ColourModel::Rgb;
  minRows_ = height_;
  if (depth_ <= 8 && !holdAndModify_) {
    outputFormat_ = PixelFormat::Indexed8;
    minStride_ = width_;
  } else {
    outputFormat_ = PixelFormat::Bgra8;
    minStride_ = width_ * 4;
  }
  alpha_ = depth_ <= 8 ? AlphaMode::Straight : AlphaMode::None;
  return status::kOk;
}

void IffReader::MakePalette(uint32_t* palette) const {
  std::fill(palette, palette + 256, kOpaqueBlack);
  const uint32_t count = depth_ <= 8 ? 1u << depth_ : 256u;
  if (hasCmap_) {
    ByteCursor c = FileCursor().Sub(cmapPos_, cmapSize_);
    const size_t entries = std::min<size_t>(cmapSize_ / 3, 256);
    for (size_t i = 0; i < entries; ++i) {
      const uint32_t red = c.U8();
      const uint32_t green = c.U8();
      const uint32_t blue = c.U8();
      palette[i] = blue | green << 8 | red << 16 | kOpaqueBlack;
    }
  } else {
    for (uint32_t i = 0; i < count; ++i) palette[i] = (i * 255 / (count - 1)) * 0x010101u | kOpaqueBlack;
  }
  if (extraHalfBrite_ && depth_ >= 2 && depth_ <= 8) {
    const uint32_t half = count / 2;
    for (uint32_t i = half; i < count; ++i) palette[i] = (palette[i - half] >> 1 & 0x7F7F7Fu) | kOpaqueBlack;
  }
  if (masking_ == kMaskTransparentColour && transparent_ < 256) palette[transparent_] &= 0x00FFFFFFu;
}

Status IffReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  if (!plane || plane.width != width_ || plane.height != height_) return status::kInvalidArgument;

  uint32_t palette[256];
  MakePalette(palette);
  if (plane.palette) std::memcpy(plane.palette, palette, sizeof palette);

  // The pixel data of the whole image: the body itself when it is stored plain
  // and whole, else expanded or copied into a zeroed buffer.
  const size_t total = static_cast<size_t>(rowStride_ * height_);
  const std::span<const uint8_t> body = FileCursor().Sub(bodyPos_, bodySize_).Rest();
  std::unique_ptr<uint8_t[]> expanded;
  ByteCursor data(body);
  if (compression_ != 0 || body.size() < total) {
    expanded.reset(new (std::nothrow) uint8_t[total]);
    if (!expanded) return status::kOutOfMemory;
    std::span<uint8_t> out(expanded.get(), total);
    size_t written = 0;
    if (compression_ == 1) {
      written = ExpandByteRun1(body, out);
    } else if (compression_ == 2) {
      std::memset(out.data(), 0, total);
      ExpandVerticalWords(body, out, rowBytes_, rowStride_, height_, depth_);
      written = total;
    } else {
      written = body.size();
      std::memcpy(out.data(), body.data(), written);
    }
    std::memset(out.data() + written, 0, total - written);
    data = ByteCursor(out);
  }

  const bool resolve = outputFormat_ == PixelFormat::Bgra8;
  std::unique_ptr<uint8_t[]> scratch;
  if (resolve) {
    scratch.reset(new (std::nothrow) uint8_t[size_t{width_} * 3]);
    if (!scratch) return status::kOutOfMemory;
  }
  for (uint32_t y = 0; y < height_; ++y) {
    const uint8_t* src = data.RowAt(y * rowStride_, rowStride_).data();
    uint8_t* dst = plane.Row(y);
    if (depth_ == 24) {
      uint8_t* red = scratch.get();
      uint8_t* green = red + width_;
      uint8_t* blue = green + width_;
      BitPlanesToIndices(red, src, rowBytes_, 8, width_);
      BitPlanesToIndices(green, src + 8 * rowBytes_, rowBytes_, 8, width_);
      BitPlanesToIndices(blue, src + 16 * rowBytes_, rowBytes_, 8, width_);
      for (uint32_t x = 0; x < width_; ++x) {
        dst[4 * x] = blue[x];
        dst[4 * x + 1] = green[x];
        dst[4 * x + 2] = red[x];
        dst[4 * x + 3] = 255;
      }
    } else {
      uint8_t* indices = resolve ? scratch.get() : dst;
      if (planar_) {
        BitPlanesToIndices(indices, src, rowBytes_, depth_, width_);
      } else {
        std::memcpy(indices, src, width_);
      }
      if (resolve) HamRowToBgra8(dst, indices, width_, depth_, palette);
    }
    if ((y & 31) == 31 && progress) progress->Report(y, height_);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  return status::kOk;
}

}  // namespace

size_t ExpandByteRun1(std::span<const uint8_t> in, std::span<uint8_t> out) {
  ByteCursor c(in);
  size_t o = 0;
  while (!c.AtEnd() && o < out.size()) {
    const int8_t n = static_cast<int8_t>(c.U8());
    if (n >= 0) {
      // A literal cut by the end of the data keeps the bytes it has.
      const std::span<const uint8_t> literal = c.BytesUpTo(size_t(n) + 1);
      const size_t count = std::min(literal.size(), out.size() - o);
      std::memcpy(out.data() + o, literal.data(), count);
      o += count;
    } else if (n != -128) {
      if (c.AtEnd()) break;
      const uint8_t value = c.U8();
      const size_t count = std::min<size_t>(size_t(1 - n), out.size() - o);
      std::memset(out.data() + o, value, count);
      o += count;
    }
  }
  return o;
}

void ExpandVerticalWords(std::span<const uint8_t> body, std::span<uint8_t> out,
                         uint64_t rowBytes, uint64_t rowStride, uint32_t height,
                         uint32_t planes) {
  ByteCursor c(body);
  const uint64_t columns = rowBytes / 2;
  const uint64_t words = columns * height;
  for (uint32_t p = 0; p < planes && c.Remaining() >= 8; ++p) {
    const uint32_t id = c.U32BE();
    const uint32_t size = c.U32BE();
    if (id != Id("VDAT")) break;
    ByteCursor chunk = c.Sub(c.Position(), std::min<size_t>(size, c.Remaining()));
    c.Skip(std::min<size_t>(size + (size & 1), c.Remaining()));
    const uint32_t commandEnd = chunk.U16BE();
    if (!chunk.Ok() || commandEnd < 2 || commandEnd > chunk.Size()) continue;
    ByteCursor commands = chunk.Sub(2, commandEnd - 2);
    ByteCursor data = chunk.Sub(commandEnd, chunk.Size() - commandEnd);
    uint64_t k = 0;
    auto put = [&](uint16_t word) {
      const uint64_t at = (k % height) * rowStride + p * rowBytes + (k / height) * 2;
      out[at] = static_cast<uint8_t>(word >> 8);
      out[at + 1] = static_cast<uint8_t>(word);
      ++k;
    };
    while (k < words && !commands.AtEnd()) {
      const int8_t command = static_cast<int8_t>(commands.U8());
      uint32_t count = 0;
      bool literal = false;
      if (command == 0 || command == 1) {
        count = data.U16BE();
        literal = command == 0;
      } else if (command < 0) {
        count = static_cast<uint32_t>(-command);
        literal = true;
      } else {
        count = static_cast<uint32_t>(command);
      }
      if (!data.Ok()) break;
      if (literal) {
        for (uint32_t i = 0; i < count && k < words; ++i) {
          const uint16_t w = data.U16BE();
          if (!data.Ok()) break;
          put(w);
        }
      } else {
        const uint16_t w = data.U16BE();
        if (!data.Ok()) break;
        for (uint32_t i = 0; i < count && k < words; ++i) put(w);
      }
    }
  }
}

void HamRowToBgra8(uint8_t* dst, const uint8_t* indices, size_t n, uint32_t depth,
                   const uint32_t* palette) {
  const uint32_t bits = depth - 2;
  const uint32_t mask = (1u << bits) - 1;
  uint32_t blue = palette[0] & 0xFF;
  uint32_t green = palette[0] >> 8 & 0xFF;
  uint32_t red = palette[0] >> 16 & 0xFF;
  for (size_t x = 0; x < n; ++x) {
    const uint32_t index = indices[x];
    const uint32_t value = index & mask;
    switch (index >> bits & 3) {
      case 0:
        blue = palette[value] & 0xFF;
        green = palette[value] >> 8 & 0xFF;
        red = palette[value] >> 16 & 0xFF;
        break;
      case 1:
        blue = WidenBits(value, bits);
        break;
      case 2:
        red = WidenBits(value, bits);
        break;
      default:
        green = WidenBits(value, bits);
        break;
    }
    dst[4 * x] = static_cast<uint8_t>(blue);
    dst[4 * x + 1] = static_cast<uint8_t>(green);
    dst[4 * x + 2] = static_cast<uint8_t>(red);
    dst[4 * x + 3] = 255;
  }
}

Status ProbeIff(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  return IsIffHeader(source.Cursor()) ? status::kOk : status::kUnknownFormat;
}

RefPtr<ImageReader> CreateIffReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new IffReader(source, record));
}

}  // namespace vt
