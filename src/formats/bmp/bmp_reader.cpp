// Windows and OS/2 device-independent bitmaps.
//
// Layout as documented for the Windows GDI structures BITMAPFILEHEADER,
// BITMAPCOREHEADER (12 bytes), BITMAPINFOHEADER (40), its 52- and 56-byte
// extensions with colour masks, BITMAPV4HEADER (108) and BITMAPV5HEADER (124),
// plus the OS/2 bitmap-array wrapper. All integers are little-endian.
//
// Damaged files. The header must be whole: a file that ends inside the
// information header, or whose colour masks are missing, fails with kDamaged,
// as does one whose dimensions are zero, negative or beyond the image limits,
// or whose pixel data cannot be what the header declares (a file that holds
// far less than its rows need, or run-length data beyond the best ratio of
// their codes). Past that nothing is refused: pixel data that end early (or a
// pixel-data offset beyond the end of the file, or a run-length stream that
// overruns) decode as far as the data go, and every pixel the file holds no
// data for is zero: palette index 0, or black (transparent when the image has
// alpha). A palette cut short keeps the entries the file holds; indices
// without an entry show opaque black. So a truncated file that holds a real
// part of its data gives the part of the image that arrived, and Decode itself
// never fails on file contents.
#include "formats/bmp/bmp_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/bmp/bmp_pixels.h"
#include "formats/bmp/bmp_rle.h"

namespace vt {

namespace {

constexpr uint16_t kSignatureBM = 0x4D42;
constexpr uint16_t kSignatureBA = 0x4142;
constexpr size_t kFileHeaderSize = 14;
// An OS/2 bitmap array starts with a 14-byte element header ("BA", element size,
// offset of the next element, hot spot); the first bitmap's own "BM" file header
// follows it directly. Only that first bitmap is read.
constexpr size_t kArrayHeaderSize = 14;
constexpr size_t kProbeMinimum = 44;

// A run code is two bytes for at most 255 pixels, with either code width.
// End-of-line, delta and end-of-bitmap codes can leave more pixels at index 0
// for fewer bytes, but a large image made mostly of pixels no code reaches is
// what a damaged header looks like.
constexpr BestRatio kRleBestRatio{255, 2};

enum Compression : uint32_t { kNone = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// Indices for which the file gives no colour (a short palette, a run-length
// code above the palette) show as opaque black.
constexpr uint32_t kMissingPaletteEntry = 0xFF000000u;

bool IsKnownHeaderSize(uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Where the "BM" file header starts (0, or after an OS/2 array header) and the
// information header's size.
struct Located {
  size_t base = 0;
  uint32_t headerSize = 0;
};

Status Locate(ByteCursor file, Located* out) {
  size_t base = 0;
  uint16_t signature = file.U16LE();
  if (signature == kSignatureBA) {
    base = kArrayHeaderSize;
    file.Seek(base);
    signature = file.U16LE();
  }
  if (!file.Ok() || signature != kSignatureBM) return status::kUnknownFormat;
  file.Seek(base + kFileHeaderSize);
  const uint32_t headerSize = file.U32LE();
  if (!file.Ok()) return status::kUnknownFormat;
  if (!IsKnownHeaderSize(headerSize)) return status::kUnsupportedSubformat;
  out->base = base;
  out->headerSize = headerSize;
  return status::kOk;
}

class BmpReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void LoadPalette(uint32_t* palette) const;
  bool AnyAlpha() const;

  uint64_t pixelPos_ = 0;
  uint64_t palettePos_ = 0;
  uint32_t paletteEntries_ = 0;
  uint32_t paletteEntrySize_ = 4;
  uint32_t compression_ = kNone;
  uint32_t redMask_ = 0;
  uint32_t greenMask_ = 0;
  uint32_t blueMask_ = 0;
  uint32_t alphaMask_ = 0;
  bool topDown_ = false;
  bool scanForAlpha_ = false;
};

Status BmpReader::ReadHeader() {
  ByteCursor file = FileCursor();
  Located at;
  if (Status s = Locate(file, &at); Failed(s)) return s;
  const size_t info = at.base + kFileHeaderSize;

  file.Seek(at.base + 10);
  pixelPos_ = file.U32LE();
  palettePos_ = info + at.headerSize;

  ByteCursor header = file.Sub(info, at.headerSize);
  if (!header.Ok()) return status::kDamaged;
  header.Skip(4);
  int64_t width = 0;
  int64_t height = 0;
  uint32_t planes = 0;
  int32_t xDensity = 0;
  int32_t yDensity = 0;
  if (at.headerSize == 12) {
    width = header.U16LE();
    height = header.U16LE();
    planes = header.U16LE();
    bitDepth_ = header.U16LE();
    compression_ = kNone;
    paletteEntrySize_ = 3;
    topDown_ = false;
  } else {
    width = header.I32LE();
    const int32_t storedHeight = header.I32LE();
    planes = header.U16LE();
    bitDepth_ = header.U16LE();
    compression_ = header.U32LE();
    header.Skip(4);  // image size: not needed, often wrong
    xDensity = header.I32LE();
    yDensity = header.I32LE();
    paletteEntrySize_ = 4;
    topDown_ = storedHeight < 0;
    height = storedHeight < 0 ? -int64_t{storedHeight} : storedHeight;
  }
  if (!header.Ok()) return status::kDamaged;
  if (planes != 1) return status::kUnsupportedSubformat;

  alpha_ = AlphaMode::None;
  alphaMask_ = 0;
  scanForAlpha_ = false;
  switch (compression_) {
    case kNone:
      if (bitDepth_ == 16) {
        compression_ = kBitFields;
        redMask_ = 0x7C00;
        greenMask_ = 0x03E0;
        blueMask_ = 0x001F;
      } else if (bitDepth_ == 32) {
        // Many programs write alpha into plain 32-bit files with the small
        // headers, which have no alpha mask; the data decide (see AnyAlpha).
        scanForAlpha_ = at.headerSize <= 52;
      } else if (bitDepth_ != 1 && bitDepth_ != 4 && bitDepth_ != 8 && bitDepth_ != 24) {
        return status::kUnsupportedSubformat;
      }
      break;
    case kRle8:
    case kRle4:
      // Either code with either depth: writers mix them up.
      if (bitDepth_ != 4 && bitDepth_ != 8) return status::kUnsupportedSubformat;
      Properties().SetRaw(PropertyId::Compression, "RLE", -1, TextEncoding::Bytes8);
      break;
    case kBitFields: {
      if (bitDepth_ != 16 && bitDepth_ != 32) return status::kUnsupportedSubformat;
      // For the 40-byte header the three masks are the words right after it;
      // the larger headers hold them at the same place.
      ByteCursor masks = file.Sub(info + 40, at.headerSize >= 56 ? 16 : 12);
      redMask_ = masks.U32LE();
      greenMask_ = masks.U32LE();
      blueMask_ = masks.U32LE();
      alphaMask_ = at.headerSize >= 56 ? masks.U32LE() : 0;
      if (!masks.Ok()) return status::kDamaged;
      const bool standard = redMask_ == 0x00FF0000 && greenMask_ == 0x0000FF00 &&
                            blueMask_ == 0x000000FF &&
                            (alphaMask_ == 0 || alphaMask_ == 0xFF000000u);
      // The byte-aligned layout is plain 32-bit data; at 16 bits those masks
      // select nothing and stay on the general path.
      if (standard && bitDepth_ == 32) compression_ = kNone;
      // A non-zero alpha mask means the file carries alpha, whatever its layout.
      if (alphaMask_ != 0) alpha_ = AlphaMode::Straight;
      break;
    }
    default:
      return status::kUnsupportedSubformat;
  }

  if (bitDepth_ <= 8) {
    outputFormat_ = PixelFormat::Indexed8;
  } else if (bitDepth_ == 16 || bitDepth_ == 24 || bitDepth_ == 32) {
    outputFormat_ = PixelFormat::Bgra8;
  } else {
    return status::kUnsupportedSubformat;
  }

  if (width <= 0 || height <= 0 || !WithinFrameLimits(static_cast<uint64_t>(width),
                                                       static_cast<uint64_t>(height), 1))
    return status::kDamaged;
  width_ = static_cast<uint32_t>(width);
  height_ = static_cast<uint32_t>(height);
  minRows_ = height_;
  model_ = ColourModel::Rgb;

  const uint64_t rowBytes = BmpStoredRowBytes(width_, bitDepth_);
  if (outputFormat_ == PixelFormat::Indexed8) {
    minStride_ = static_cast<uint32_t>((rowBytes * 8 + bitDepth_ - 1) / bitDepth_);
    uint64_t entries = pixelPos_ > palettePos_ ? (pixelPos_ - palettePos_) / paletteEntrySize_ : 0;
    const uint64_t size = FileSize();
    const uint64_t inFile = size > palettePos_ ? (size - palettePos_) / paletteEntrySize_ : 0;
    entries = std::min({entries, inFile, uint64_t{1} << bitDepth_});
    paletteEntries_ = static_cast<uint32_t>(entries);
  } else {
    minStride_ = width_ * 4;
    paletteEntries_ = 0;
  }
  pixelData_.present = FileSize() > pixelPos_ ? FileSize() - pixelPos_ : 0;
  if (compression_ == kRle8 || compression_ == kRle4) {
    pixelData_.declared = uint64_t{width_} * height_;
    pixelData_.best = kRleBestRatio;
  } else {
    pixelData_.declared = rowBytes * height_;
    pixelData_.best = kStoredPlain;
  }

  if (at.headerSize >= 40 && xDensity != 0 && yDensity != 0) {
    char text[48];
    std::snprintf(text, sizeof text, "%d x %d ppm", xDensity, yDensity);
    Properties().Set(PropertyId::PixelDensity, AsciiToUtf16(text));
  }
  return status::kOk;
}

void BmpReader::LoadPalette(uint32_t* palette) const {
  std::fill(palette, palette + 256, kMissingPaletteEntry);
  ByteCursor c = FileCursor().Sub(palettePos_, uint64_t{paletteEntries_} * paletteEntrySize_);
  for (uint32_t i = 0; i < paletteEntries_ && c.Ok(); ++i) {
    const uint32_t blue = c.U8();
    const uint32_t green = c.U8();
    const uint32_t red = c.U8();
    if (paletteEntrySize_ == 4) c.Skip(1);
    palette[i] = blue | green << 8 | red << 16 | 0xFF000000u;
  }
}

// Whether any 32-bit pixel, in file order, has a non-zero fourth byte.
bool BmpReader::AnyAlpha() const {
  ByteCursor data = FileCursor();
  if (!data.Seek(pixelPos_)) return false;
  const std::span<const uint8_t> bytes = data.BytesUpTo(uint64_t{width_} * height_ * 4);
  for (size_t i = 3; i < bytes.size(); i += 4) {
    if (bytes[i] != 0) return true;
  }
  return false;
}

Status BmpReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  if (!plane || plane.width != width_ || plane.height != height_)
    return status::kInvalidArgument;
  if (plane.palette) LoadPalette(plane.palette);

  if (scanForAlpha_ && AnyAlpha()) {
    alphaMask_ = 0xFF000000u;
    alpha_ = AlphaMode::Straight;
  }

  ByteCursor data = FileCursor();
  data.Seek(std::min<uint64_t>(pixelPos_, data.Size()));
  if (compression_ == kRle8 || compression_ == kRle4) {
    // Codes may skip pixels (deltas, early ends of line or bitmap); those keep
    // index 0.
    for (uint32_t y = 0; y < height_; ++y) std::memset(plane.Row(y), 0, width_);
    DecodeBmpRle(data.Tail(), plane, compression_ == kRle8 ? BmpRleCodes::Rle8 : BmpRleCodes::Rle4,
                 cancel);
    return IsCancelled(cancel) ? status::kCancelled : status::kOk;
  }
  BmpRowLayout layout;
  layout.width = width_;
  layout.height = height_;
  layout.bitDepth = bitDepth_;
  layout.topDown = topDown_;
  layout.bitFields = compression_ == kBitFields;
  layout.redMask = redMask_;
  layout.greenMask = greenMask_;
  layout.blueMask = blueMask_;
  layout.alphaMask = alphaMask_;
  return DecodeBmpRows(data.Tail(), layout, plane, progress, cancel);
}

}  // namespace

Status ProbeBmp(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  Located at;
  return Locate(source.Cursor(), &at);
}

RefPtr<ImageReader> CreateBmpReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new BmpReader(source, record));
}

}  // namespace vt
