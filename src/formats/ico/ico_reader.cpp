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
// there, and the file must hold a real share of that entry's colour rows (a
// few bytes cannot stand for a huge bitmap). Past that nothing is refused:
// colour rows that the file does not hold, wholly or in part, are zero (index
// 0, or transparent black), a palette cut short keeps the entries the file
// holds (the others are opaque black), and mask bits the file does not hold
// count as opaque. A PNG stream is read only within its entry and the file.
//
// The colour rows of a bitmap entry are decoded by the bitmap reader's row
// code, as a PNG entry is by the PNG reader.
#include "formats/ico/ico_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/bmp/bmp_pixels.h"
#include "formats/ico/subrange_source.h"
#include "formats/png/png_reader.h"

namespace vt {

namespace {

constexpr size_t kProbeMinimum = 62;
constexpr size_t kDirectoryStart = 6;
constexpr size_t kEntrySize = 16;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kMaxEntries = 99;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t kMissingPaletteEntry = 0xFF000000u;
constexpr uint32_t kTransparentWhite = 0x00FFFFFFu;

bool HeaderPlausible(const FileSource& source, uint32_t* entries) {
  if (source.Size() < kProbeMinimum) return false;
  ByteCursor c = source.Cursor();
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
  void LoadPalette(uint32_t* palette) const;
  // Where the mask makes pixels transparent: a transparent index of their own
  // for indexed images, alpha 0 for 24-bit ones.
  void ApplyIndexedMask(const PlaneView& plane) const;
  void ApplyColourMask(const PlaneView& plane) const;
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
  const ByteCursor file = FileCursor();
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
    if (planes != 1 || bpp > 32 || width <= 0 || height <= 0 ||
        !WithinFrameLimits(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 1))
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
  const uint64_t rowBytes = BmpStoredRowBytes(width_, bpp);
  maskPos_ = colourPos_ + rowBytes * height_;
  pixelData_.declared = rowBytes * height_;
  pixelData_.present = fileSize > colourPos_ ? fileSize - colourPos_ : 0;
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
  const uint64_t maskRowBytes = BmpStoredRowBytes(width_, 1);
  return FileCursor().RowAt(maskPos_ + uint64_t{i} * maskRowBytes, maskRowBytes);
}

bool MaskBit(std::span<const uint8_t> row, uint32_t x) {
  const size_t byte = x / 8;
  return byte < row.size() && (row[byte] >> (7 - (x & 7)) & 1);
}

void IcoReader::LoadPalette(uint32_t* palette) const {
  std::fill(palette, palette + 256, kMissingPaletteEntry);
  ByteCursor c = FileCursor();
  c.Seek(std::min<uint64_t>(palettePos_, c.Size()));
  const uint32_t colours = 1u << bitDepth_;
  for (uint32_t k = 0; k < colours && c.Has(4); ++k) {
    const uint32_t blue = c.U8();
    const uint32_t green = c.U8();
    const uint32_t red = c.U8();
    c.Skip(1);
    palette[k] = blue | green << 8 | red << 16 | 0xFF000000u;
  }
}

void IcoReader::ApplyIndexedMask(const PlaneView& plane) const {
  const uint32_t colours = 1u << bitDepth_;
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
    if (transparent == 256) return;  // every index is taken
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
}

void IcoReader::ApplyColourMask(const PlaneView& plane) const {
  for (uint32_t i = 0; i < height_; ++i) {
    const std::span<const uint8_t> mask = MaskRow(i);
    if (mask.empty()) break;
    uint8_t* row = plane.Row(height_ - 1 - i);
    for (uint32_t x = 0; x < width_; ++x) {
      if (MaskBit(mask, x)) row[4 * size_t{x} + 3] = 0;
    }
  }
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
  if (plane.palette) LoadPalette(plane.palette);

  // The colour rows are those of a bitmap without its file header; a 32-bit
  // image keeps its fourth byte as alpha.
  BmpRowLayout layout;
  layout.width = width_;
  layout.height = height_;
  layout.bitDepth = bitDepth_;
  layout.alphaMask = bitDepth_ == 32 ? 0xFF000000u : 0;
  ByteCursor colour = FileCursor();
  colour.Seek(std::min<uint64_t>(colourPos_, colour.Size()));
  const Status s = DecodeBmpRows(colour.Tail(), layout, plane, progress, cancel);
  if (s != status::kOk) return s;
  if (outputFormat_ == PixelFormat::Indexed8) {
    ApplyIndexedMask(plane);
  } else if (bitDepth_ == 24) {
    ApplyColourMask(plane);
  }
  return status::kOk;
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
