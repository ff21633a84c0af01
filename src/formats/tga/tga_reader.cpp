// TARGA images: an 18-byte little-endian header, an identification field, an
// optional colour map, then the pixels, raw or run-length encoded, bottom-up
// unless the descriptor says top-down. A TARGA 2.0 file ends with a 26-byte
// footer (extension-area offset, developer-area offset, "TRUEVISION-XFILE.",
// a zero); the extension area's attributes type says what the alpha channel
// holds, and overrides the header's alpha bits.
//
// Colours from the colour map and from pixels widen differently on purpose: a
// 5-bit map component is shifted (31 gives 248), a 5-bit pixel component is
// scaled (31 gives 255).
//
// Damaged files. The header, identification field and colour map must be in the
// file, and the size within the image limits (else kDamaged). Since there is
// no signature, the size of the data is the main evidence that a file is
// TARGA: raw pixels must all be present and no data may exceed twice the image
// plus 1024 bytes (else kUnsupportedSubformat). Run-length data must hold a
// real share of the image at the best ratio of their packets (else kDamaged);
// data that run dry give the pixels they hold, and the rest of the image is
// zero (index 0, or transparent black).
#include "formats/tga/tga_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr size_t kProbeMinimum = 19;
constexpr size_t kFooterSize = 26;
constexpr size_t kExtensionAttributes = 494;
constexpr uint8_t kFooterSignature[] = {'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O',
                                        'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};
// A run packet is a header byte and one pixel for at most 128 pixels.
constexpr uint32_t kRunPacketPixels = 128;

enum Kind : uint8_t { kNoImage = 0, kColourMapped = 1, kTrueColour = 2, kGray = 3 };

constexpr uint8_t kDescriptorAlphaBits = 0x0F;
constexpr uint8_t kDescriptorRightToLeft = 0x10;
constexpr uint8_t kDescriptorTopDown = 0x20;
constexpr uint8_t kDescriptorInterleave = 0xC0;

struct Header {
  uint8_t idLength = 0;
  uint8_t mapType = 0;
  uint8_t type = 0;
  uint16_t firstIndex = 0;
  uint16_t mapLength = 0;
  uint8_t entrySize = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t depth = 0;
  uint8_t descriptor = 0;

  uint8_t Kind() const { return type & 7; }
  bool RunLength() const { return (type & 8) != 0; }
  uint32_t PixelBytes() const { return depth == 15 ? 2 : depth / 8u; }
  uint32_t EntryBytes() const { return (entrySize + 7u) / 8u; }
};

bool HasTgaName(std::u16string_view path) {
  auto endsWith = [&](std::u16string_view suffix) {
    return path.size() >= suffix.size() &&
           EqualsIgnoreAsciiCase(path.substr(path.size() - suffix.size()), suffix);
  };
  return (path.size() > 4 && endsWith(u".tga")) || (path.size() >= 7 && endsWith(u".targa"));
}

// The probe's checks; kUnknownFormat unless the name and header fit.
Status ReadPlausibleHeader(const FileSource& source, Header* h) {
  if (source.Size() < kProbeMinimum || !HasTgaName(source.Path())) return status::kUnknownFormat;
  ByteCursor c = source.Cursor();
  h->idLength = c.U8();
  h->mapType = c.U8();
  h->type = c.U8();
  h->firstIndex = c.U16LE();
  h->mapLength = c.U16LE();
  h->entrySize = c.U8();
  c.Skip(4);  // origin
  h->width = c.U16LE();
  h->height = c.U16LE();
  h->depth = c.U8();
  h->descriptor = c.U8();
  if (!c.Ok()) return status::kUnknownFormat;
  if (h->descriptor & kDescriptorRightToLeft) return status::kUnknownFormat;
  if (h->entrySize > 32 || h->depth > 32) return status::kUnknownFormat;
  if (h->depth != 8 && h->depth != 15 && h->depth != 16 && h->depth != 24 && h->depth != 32)
    return status::kUnknownFormat;
  if (h->Kind() > 3) return status::kUnknownFormat;
  return status::kOk;
}

// Run-length packets as a stream that fills one row at a time; a packet may
// reach into the next row.
class TgaRunLength {
 public:
  TgaRunLength(ByteCursor data, uint32_t pixelBytes) : data_(data), pixelBytes_(pixelBytes) {}

  // Writes up to n pixels; fewer only when the data ran out.
  size_t Fill(uint8_t* dst, size_t n) {
    size_t done = 0;
    while (done < n) {
      if (repeat_ > 0) {
        const size_t k = std::min<size_t>(repeat_, n - done);
        for (size_t i = 0; i < k; ++i) std::memcpy(dst + (done + i) * pixelBytes_, pixel_, pixelBytes_);
        done += k;
        repeat_ -= static_cast<uint32_t>(k);
        continue;
      }
      if (literal_ > 0) {
        const size_t k =
            std::min<size_t>({literal_, n - done, data_.Remaining() / pixelBytes_});
        if (k == 0) break;
        data_.CopyTo(dst + done * pixelBytes_, k * pixelBytes_);
        done += k;
        literal_ -= static_cast<uint32_t>(k);
        continue;
      }
      if (data_.AtEnd()) break;
      const uint8_t header = data_.U8();
      if (header & 0x80) {
        if (!data_.CopyTo(pixel_, pixelBytes_)) break;
        repeat_ = (header & 0x7Fu) + 1;
      } else {
        literal_ = header + 1u;
      }
    }
    return done;
  }

 private:
  ByteCursor data_;
  uint32_t pixelBytes_;
  uint32_t repeat_ = 0;
  uint32_t literal_ = 0;
  uint8_t pixel_[4] = {};
};

// 5-5-5 pixels, blue in the low bits, each component scaled to 0..255.
void Pixels16ToBgra8(uint8_t* dst, const uint8_t* src, size_t n, bool alphaBit) {
  for (size_t i = 0; i < n; ++i, src += 2, dst += 4) {
    const uint32_t p = uint32_t{src[0]} | uint32_t{src[1]} << 8;
    dst[0] = static_cast<uint8_t>((p & 0x1F) * 255 / 31);
    dst[1] = static_cast<uint8_t>((p >> 5 & 0x1F) * 255 / 31);
    dst[2] = static_cast<uint8_t>((p >> 10 & 0x1F) * 255 / 31);
    dst[3] = !alphaBit || (p & 0x8000) ? 0xFF : 0x00;
  }
}

void Pixels32ToBgra8(uint8_t* dst, const uint8_t* src, size_t n, bool keepAlpha) {
  std::memcpy(dst, src, n * 4);
  if (!keepAlpha)
    for (size_t i = 0; i < n; ++i) dst[4 * i + 3] = 0xFF;
}

class TgaReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void LoadPalette(uint32_t* palette) const;
  void ConvertRow(uint8_t* dst, const uint8_t* src, size_t n) const;

  Header h_;
  size_t mapStart_ = 0;
  size_t dataStart_ = 0;
  size_t dataEnd_ = 0;
};

Status TgaReader::ReadHeader() {
  if (Status s = ReadPlausibleHeader(*Source(), &h_); Failed(s)) return s;
  if ((h_.descriptor & kDescriptorInterleave) || h_.mapType > 1 || (h_.type & 0xF0))
    return status::kUnsupportedSubformat;
  if (h_.mapLength == 0 && h_.mapType != 0) return status::kUnsupportedSubformat;
  if (h_.mapType == 1 && h_.Kind() != kColourMapped) return status::kUnsupportedSubformat;
  alpha_ = h_.mapType == 1 && h_.entrySize == 32 ? AlphaMode::Straight : AlphaMode::None;

  model_ = ColourModel::Rgb;
  switch (h_.Kind()) {
    case kColourMapped:
      if (h_.depth != 8 || h_.mapType != 1) return status::kDamaged;
      if (h_.entrySize != 15 && h_.entrySize != 16 && h_.entrySize != 24 && h_.entrySize != 32)
        return status::kUnsupportedSubformat;
      outputFormat_ = PixelFormat::Indexed8;
      break;
    case kTrueColour:
      if (h_.depth < 15) return status::kDamaged;
      outputFormat_ = PixelFormat::Bgra8;
      if (h_.depth > 24 && (h_.descriptor & kDescriptorAlphaBits)) alpha_ = AlphaMode::Straight;
      break;
    case kGray:
      if (h_.depth != 8) return status::kDamaged;
      outputFormat_ = PixelFormat::Indexed8;
      model_ = ColourModel::L;
      break;
    default:
      return status::kUnsupportedSubformat;  // no image data
  }
  if (h_.width == 0 || h_.height == 0) return status::kUnknownFormat;
  if (!WithinFrameLimits(h_.width, h_.height, BytesPerPixel(outputFormat_)))
    return status::kDamaged;
  width_ = h_.width;
  height_ = h_.height;
  bitDepth_ = h_.depth;

  const size_t size = FileSize();
  mapStart_ = kHeaderSize + h_.idLength;
  const size_t mapBytes = h_.mapType == 1 ? size_t{h_.mapLength} * h_.EntryBytes() : 0;
  dataStart_ = mapStart_ + mapBytes;
  if (dataStart_ > size) return status::kDamaged;

  // The data end at the footer. An extension or developer area after the
  // pixels (a thumbnail, say) is not counted as pixel data when the size is
  // judged.
  dataEnd_ = size;
  uint64_t judgedEnd = size;
  const uint64_t imageBytes = uint64_t{width_} * height_ * h_.PixelBytes();
  const ByteCursor file = FileCursor();
  if (size >= dataStart_ + kFooterSize) {
    ByteCursor footer = file.Sub(size - kFooterSize, kFooterSize);
    const uint32_t extension = footer.U32LE();
    const uint32_t developer = footer.U32LE();
    if (footer.StartsWith(kFooterSignature)) {
      dataEnd_ = size - kFooterSize;
      judgedEnd = dataEnd_;
      if (extension != 0 && uint64_t{extension} + kExtensionAttributes < size) {
        const uint8_t attributes = file.Sub(extension + kExtensionAttributes, 1).U8();
        alpha_ = attributes == 3   ? AlphaMode::Straight
                 : attributes == 4 ? AlphaMode::Premultiplied
                                   : AlphaMode::None;
      }
      const uint64_t pixelsEnd = dataStart_ + (h_.RunLength() ? 0 : imageBytes);
      for (const uint32_t area : {extension, developer}) {
        if (area >= pixelsEnd && area < judgedEnd) judgedEnd = area;
      }
    }
  }

  const uint64_t dataSize = dataEnd_ - dataStart_;
  if (!h_.RunLength() && dataSize < imageBytes) return status::kUnsupportedSubformat;
  if (judgedEnd - dataStart_ > imageBytes * 2 + 1024) return status::kUnsupportedSubformat;

  if (h_.RunLength()) {
    Properties().SetRaw(PropertyId::Compression, "RLE", -1, TextEncoding::Bytes8);
    pixelData_ = {imageBytes, dataSize,
                  BestRatio{uint64_t{kRunPacketPixels} * h_.PixelBytes(), 1 + h_.PixelBytes()}};
  }
  minRows_ = height_;
  minStride_ = width_ * BytesPerPixel(outputFormat_);
  return status::kOk;
}

void TgaReader::LoadPalette(uint32_t* palette) const {
  if (h_.Kind() == kGray) {
    for (uint32_t i = 0; i < 256; ++i) palette[i] = i * 0x010101u | 0xFF000000u;
    return;
  }
  std::fill(palette, palette + 256, 0xFF000000u);
  const uint32_t entryBytes = h_.EntryBytes();
  ByteCursor map = FileCursor().Sub(mapStart_, size_t{h_.mapLength} * entryBytes);
  for (uint32_t i = 0; i < h_.mapLength && h_.firstIndex + i < 256 && map.Ok(); ++i) {
    uint32_t colour = 0;
    if (entryBytes == 2) {
      const uint32_t p = map.U16LE();
      const uint32_t blue = (p & 0x1F) << 3;
      const uint32_t green = (p >> 5 & 0x1F) << 3;
      const uint32_t red = (p >> 10 & 0x1F) << 3;
      colour = blue | green << 8 | red << 16 | 0xFF000000u;
    } else if (entryBytes == 3) {
      const uint32_t blue = map.U8();
      const uint32_t green = map.U8();
      const uint32_t red = map.U8();
      colour = blue | green << 8 | red << 16 | 0xFF000000u;
    } else {
      colour = map.U32LE();
    }
    if (map.Ok()) palette[h_.firstIndex + i] = colour;
  }
}

void TgaReader::ConvertRow(uint8_t* dst, const uint8_t* src, size_t n) const {
  switch (h_.PixelBytes()) {
    case 1:
      std::memcpy(dst, src, n);
      break;
    case 2:
      Pixels16ToBgra8(dst, src, n, alpha_ != AlphaMode::None);
      break;
    case 3:
      Bgr8ToBgra8(dst, src, n);
      break;
    default:
      Pixels32ToBgra8(dst, src, n, alpha_ != AlphaMode::None);
      break;
  }
}

Status TgaReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  if (!plane || plane.width != width_ || plane.height != height_)
    return status::kInvalidArgument;
  if (plane.palette) LoadPalette(plane.palette);

  const bool topDown = (h_.descriptor & kDescriptorTopDown) != 0;
  const uint32_t pixelBytes = h_.PixelBytes();
  const size_t rowBytes = size_t{width_} * pixelBytes;
  const size_t outBytes = BytesPerPixel(outputFormat_);
  const ByteCursor data = FileCursor().Sub(dataStart_, dataEnd_ - dataStart_);

  std::unique_ptr<uint8_t[]> rowBuffer;
  TgaRunLength packets(data, pixelBytes);
  if (h_.RunLength()) {
    rowBuffer.reset(new (std::nothrow) uint8_t[rowBytes]);
    if (!rowBuffer) return status::kOutOfMemory;
  }

  for (uint32_t i = 0; i < height_; ++i) {
    if (IsCancelled(cancel)) return status::kCancelled;
    uint8_t* dst = plane.Row(topDown ? i : height_ - 1 - i);
    const uint8_t* src;
    size_t n = width_;
    if (h_.RunLength()) {
      n = packets.Fill(rowBuffer.get(), width_);
      src = rowBuffer.get();
    } else {
      // ReadHeader made sure every raw row is present.
      src = data.RowAt(uint64_t{i} * rowBytes, rowBytes).data();
    }
    if (n > 0) ConvertRow(dst, src, n);
    if (n < width_) {
      std::memset(dst + n * outBytes, 0, (width_ - n) * outBytes);
      for (uint32_t j = i + 1; j < height_; ++j)
        std::memset(plane.Row(topDown ? j : height_ - 1 - j), 0, size_t{width_} * outBytes);
      return status::kOk;
    }
    if (progress && (i & 63) == 63) progress->Report(i, height_);
  }
  return status::kOk;
}

}  // namespace

Status ProbeTga(const FileSource& source) {
  Header h;
  return ReadPlausibleHeader(source, &h);
}

RefPtr<ImageReader> CreateTgaReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new TgaReader(source, record));
}

}  // namespace vt
