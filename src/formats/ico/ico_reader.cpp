// Windows icons and cursors.
//
// A 6-byte header (reserved 0, type 1 icon or 2 cursor, entry count), 16-byte
// directory entries whose last two words are the image's size and offset, and
// the images: each a PNG stream or a device-independent bitmap without file
// header whose stored height counts the colour rows and the 1-bit AND mask
// rows. All integers are little-endian.
//
// Choice of image. Entries are visited in order until one lies beyond the end
// of the file. A bitmap becomes the best image when it is at least as wide, as
// tall and as deep as the best so far, so a later entry wins a tie; a PNG
// stream only when it is larger in all three, its depth being the code its own
// reader reports.
//
// Transparency. Indexed images take it from the mask: pixels whose mask bit
// is set get an index of their own whose colour is transparent white, the
// first index after a 1- or 4-bit palette or, at 8 bits, the highest index no
// opaque pixel uses (none when all 256 are used). 32-bit images carry their
// own alpha and ignore the mask. 24-bit images have nothing else, so the mask
// clears their alpha.
//
// Damaged files. The header and the chosen entry's information header must be
// there. Past them nothing is refused: colour rows that the file does not
// hold, wholly or in part, are zero (index 0, or transparent black), a palette
// cut short keeps the entries the file holds (the others are opaque black),
// and mask bits the file does not hold count as opaque. A PNG stream is read
// only within its entry and the file.
#include "formats/ico/ico_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/ico/subrange_source.h"
#include "formats/png/png_reader.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

constexpr size_t kProbeMinimum = 62;
constexpr size_t kDirectoryStart = 6;
constexpr size_t kEntrySize = 16;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kMaxEntries = 99;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// The bitmap reader's limits.
constexpr int64_t kMaxSide = int64_t{1} << 24;
constexpr uint64_t kMaxPixels = uint64_t{1} << 30;

constexpr uint32_t kMissingPaletteEntry = 0xFF000000u;
constexpr uint32_t kTransparentWhite = 0x00FFFFFFu;

bool HeaderPlausible(const FileSource& source, uint32_t* entries) {
  if (!source.Data() || source.Size() < kProbeMinimum) return false;
  ByteCursor c(source.Bytes());
  const uint16_t reserved = c.U16LE();
  const uint16_t type = c.U16LE();
  const uint16_t count = c.U16LE();
  if (!c.Ok() || reserved != 0 || (type != 1 && type != 2) || count < 1 || count > kMaxEntries)
    return false;
  if (entries) *entries = count;
  return true;
}

bool NamedAsIcon(const std::u16string& path) {
  constexpr size_t kExtension = 4;
  if (path.size() < kExtension) return false;
  const std::u16string_view tail = std::u16string_view(path).substr(path.size() - kExtension);
  return EqualsIgnoreAsciiCase(tail, u".ico") || EqualsIgnoreAsciiCase(tail, u".cur");
}

// Bytes of one stored bitmap row: padded to a multiple of 4.
uint64_t RowBytes(uint64_t width, uint32_t bpp) { return (width * bpp + 31) / 32 * 4; }

// ImageReader::Decode is protected; a reader that delegates to another reader
// of a different class reaches it through a pointer to member formed in a
// derived class, which the language allows.
struct ReaderAccess : ImageReader {
  static Status DecodeOther(ImageReader* reader, ImageBuffer* target, bool reduced,
                            ProgressSink* progress, const CancelFlag* cancel) {
    return (reader->*(&ReaderAccess::Decode))(target, reduced, progress, cancel);
  }
};

class IcoReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  // kOk with the PNG entry's reader opened, kNothingDone when it cannot be
  // read, kOutOfMemory when no reader can be made.
  Status OpenPng(uint64_t offset, uint64_t size, RefPtr<ImageReader>* out);
  Status DecodeIndexed(const PlaneView& plane, const CancelFlag* cancel) const;
  Status DecodeTrueColour(const PlaneView& plane, const CancelFlag* cancel) const;
  // The mask row for stored row i (bottom-up), possibly shorter than a row.
  std::span<const uint8_t> MaskRow(uint32_t i) const;

  RefPtr<ImageReader> png_;
  uint64_t palettePos_ = 0;
  uint64_t colourPos_ = 0;
  uint64_t maskPos_ = 0;
};

Status IcoReader::OpenPng(uint64_t offset, uint64_t size, RefPtr<ImageReader>* out) {
  RefPtr<FileSource> range =
      MakeSubrangeSource(Source(), static_cast<size_t>(offset), static_cast<size_t>(size));
  if (!range) return status::kOutOfMemory;
  RefPtr<ImageReader> reader = CreatePngReader(range.get(), Record());
  if (!reader) return status::kOutOfMemory;
  if (Failed(reader->Open(openFlags_))) return status::kNothingDone;
  *out = std::move(reader);
  return status::kOk;
}

Status IcoReader::ReadHeader() {
  uint32_t entries = 0;
  if (!NamedAsIcon(Source()->Path()) || !HeaderPlausible(*Source(), &entries))
    return status::kUnknownFormat;
  const ByteCursor file(FileBytes());
  const uint64_t fileSize = file.Size();

  struct Best {
    uint32_t width = 0, height = 0, depth = 0;
    int64_t imagePos = -1;  // bitmap entries
    uint32_t headerSize = 0;
  } best;
  bool visited = false;
  png_.reset();

  for (uint32_t i = 0; i < entries; ++i) {
    ByteCursor entry = file.Sub(kDirectoryStart + i * kEntrySize, kEntrySize);
    entry.Skip(8);
    const uint32_t size = entry.U32LE();
    const uint64_t offset = entry.U32LE();
    if (!entry.Ok() || offset + kInfoHeaderSize > fileSize) break;
    visited = true;

    ByteCursor image = file.Sub(static_cast<size_t>(offset), kInfoHeaderSize);
    if (image.StartsWith(kPngSignature)) {
      RefPtr<ImageReader> reader;
      const Status s = OpenPng(offset, size, &reader);
      if (s == status::kOutOfMemory) return s;
      if (s != status::kOk) continue;
      if (reader->Width() > best.width && reader->Height() > best.height &&
          reader->BitDepth() > best.depth) {
        best = Best{reader->Width(), reader->Height(), reader->BitDepth(), -1, 0};
        png_ = std::move(reader);
      }
      continue;
    }

    const uint32_t headerSize = image.U32LE();
    const int32_t width = image.I32LE();
    const int32_t storedHeight = image.I32LE();
    const uint16_t planes = image.U16LE();
    const uint16_t bpp = image.U16LE();
    const int64_t height = storedHeight / 2;
    // Entries the reader could not show or whose size is absurd never compete.
    if (planes != 1 || bpp > 32 || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide || static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels)
      continue;
    if (static_cast<uint32_t>(width) >= best.width && static_cast<uint32_t>(height) >= best.height &&
        bpp >= best.depth) {
      best = Best{static_cast<uint32_t>(width), static_cast<uint32_t>(height), bpp,
                  static_cast<int64_t>(offset), headerSize};
      png_.reset();
    }
  }

  if (!png_ && best.imagePos < 0) {
    // Nothing to show: no entry inside the file, or none this reader can read.
    return visited ? status::kUnsupportedSubformat : status::kDamaged;
  }

  width_ = best.width;
  height_ = best.height;
  bitDepth_ = best.depth;
  if (png_) {
    Properties().Set(PropertyId::Compression, u"PNG/Inflate");
    minStride_ = png_->MinStride();
    minRows_ = png_->MinRows();
    outputFormat_ = png_->OutputFormat();
    alpha_ = png_->Alpha();
    model_ = png_->Model();
    return status::kOk;
  }

  palettePos_ = static_cast<uint64_t>(best.imagePos) +
                std::max<uint64_t>(best.headerSize, kInfoHeaderSize);
  const uint32_t bpp = bitDepth_;
  colourPos_ = palettePos_ + (bpp <= 8 ? uint64_t{4} << bpp : 0);
  const uint64_t rowBytes = RowBytes(width_, bpp);
  maskPos_ = colourPos_ + rowBytes * height_;
  minRows_ = height_;
  if (bpp == 1 || bpp == 4 || bpp == 8) {
    outputFormat_ = PixelFormat::Indexed8;
    minStride_ = static_cast<uint32_t>((rowBytes * 8 + bpp - 1) / bpp);
  } else if (bpp == 24 || bpp == 32) {
    outputFormat_ = PixelFormat::Bgra8;
    minStride_ = width_ * 4;
  } else {
    return status::kUnsupportedSubformat;
  }
  alpha_ = AlphaMode::Straight;
  model_ = ColourModel::Rgb;
  return status::kOk;
}

std::span<const uint8_t> IcoReader::MaskRow(uint32_t i) const {
  const ByteCursor file(FileBytes());
  const uint64_t maskRowBytes = RowBytes(width_, 1);
  const uint64_t start = maskPos_ + uint64_t{i} * maskRowBytes;
  if (start >= file.Size()) return {};
  const uint64_t have = std::min<uint64_t>(maskRowBytes, file.Size() - start);
  return file.Sub(static_cast<size_t>(start), static_cast<size_t>(have)).Data();
}

bool MaskBit(std::span<const uint8_t> row, uint32_t x) {
  const size_t byte = x / 8;
  return byte < row.size() && (row[byte] >> (7 - (x & 7)) & 1);
}

Status IcoReader::DecodeIndexed(const PlaneView& plane, const CancelFlag* cancel) const {
  const ByteCursor file(FileBytes());
  const uint32_t bpp = bitDepth_;
  const uint32_t colours = 1u << bpp;

  if (plane.palette) {
    std::fill(plane.palette, plane.palette + 256, kMissingPaletteEntry);
    const uint64_t inFile = palettePos_ < file.Size() ? (file.Size() - palettePos_) / 4 : 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(colours, inFile));
    std::span<const uint8_t> bytes = file.Sub(static_cast<size_t>(palettePos_), size_t{n} * 4).Data();
    for (uint32_t k = 0; k < n; ++k)
      plane.palette[k] = bytes[4 * k] | bytes[4 * k + 1] << 8 | bytes[4 * k + 2] << 16 | 0xFF000000u;
  }

  const uint64_t rowBytes = RowBytes(width_, bpp);
  for (uint32_t i = 0; i < height_; ++i) {
    uint8_t* dst = plane.Row(height_ - 1 - i);
    const uint64_t start = colourPos_ + uint64_t{i} * rowBytes;
    const uint64_t have = start < file.Size() ? std::min<uint64_t>(rowBytes, file.Size() - start) : 0;
    const uint8_t* src = file.Sub(static_cast<size_t>(start), static_cast<size_t>(have)).Data().data();
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(width_, have * 8 / bpp));
    if (n) {
      if (bpp == 1) {
        Expand1Bit(dst, src, n);
      } else if (bpp == 4) {
        Expand4Bit(dst, src, n);
      } else {
        std::memcpy(dst, src, n);
      }
    }
    std::memset(dst + n, 0, width_ - n);
    if (IsCancelled(cancel)) return status::kCancelled;
  }

  uint32_t transparent = colours;
  if (colours >= 256) {
    std::array<bool, 256> used{};
    for (uint32_t i = 0; i < height_; ++i) {
      const std::span<const uint8_t> mask = MaskRow(i);
      const uint8_t* row = plane.Row(height_ - 1 - i);
      for (uint32_t x = 0; x < width_; ++x) {
        if (!MaskBit(mask, x)) used[row[x]] = true;
      }
    }
    transparent = 256;
    for (uint32_t k = 256; k-- > 0;) {
      if (!used[k]) {
        transparent = k;
        break;
      }
    }
    if (transparent == 256) return status::kOk;  // every index is taken
  }
  if (plane.palette) plane.palette[transparent] = kTransparentWhite;
  for (uint32_t i = 0; i < height_; ++i) {
    const std::span<const uint8_t> mask = MaskRow(i);
    if (mask.empty()) break;
    uint8_t* row = plane.Row(height_ - 1 - i);
    for (uint32_t x = 0; x < width_; ++x) {
      if (MaskBit(mask, x)) row[x] = static_cast<uint8_t>(transparent);
    }
  }
  return status::kOk;
}

Status IcoReader::DecodeTrueColour(const PlaneView& plane, const CancelFlag* cancel) const {
  const ByteCursor file(FileBytes());
  const uint32_t bpp = bitDepth_;
  const uint64_t rowBytes = RowBytes(width_, bpp);
  for (uint32_t i = 0; i < height_; ++i) {
    uint8_t* dst = plane.Row(height_ - 1 - i);
    const uint64_t start = colourPos_ + uint64_t{i} * rowBytes;
    const uint64_t have = start < file.Size() ? std::min<uint64_t>(rowBytes, file.Size() - start) : 0;
    const uint8_t* src = file.Sub(static_cast<size_t>(start), static_cast<size_t>(have)).Data().data();
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(width_, have * 8 / bpp));
    if (n) {
      if (bpp == 24) {
        Bgr8ToBgra8(dst, src, n);
        const std::span<const uint8_t> mask = MaskRow(i);
        for (uint32_t x = 0; x < n; ++x) {
          if (MaskBit(mask, x)) dst[4 * x + 3] = 0;
        }
      } else {
        std::memcpy(dst, src, size_t{n} * 4);
      }
    }
    std::memset(dst + size_t{n} * 4, 0, size_t{width_ - n} * 4);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  return status::kOk;
}

Status IcoReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  if (png_) {
    const Status s = ReaderAccess::DecodeOther(png_.get(), target, false, progress, cancel);
    alpha_ = png_->Alpha();
    return s;
  }
  const PlaneView plane = target->View(outputFormat_);
  if (!plane) return status::kUnsupportedColourFormat;
  if (plane.width != width_ || plane.height != height_) return status::kInvalidArgument;
  return outputFormat_ == PixelFormat::Indexed8 ? DecodeIndexed(plane, cancel)
                                                : DecodeTrueColour(plane, cancel);
}

}  // namespace

Status ProbeIco(const FileSource& source) {
  return NamedAsIcon(source.Path()) && HeaderPlausible(source, nullptr) ? status::kOk
                                                                        : status::kUnknownFormat;
}

RefPtr<ImageReader> CreateIcoReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new IcoReader(source, record));
}

}  // namespace vt
