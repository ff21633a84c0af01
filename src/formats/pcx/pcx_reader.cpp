// PC Paintbrush images: a 128-byte little-endian header, then the rows, raw or
// run-length encoded. Each row holds its planes one after the other, each
// plane "bytes per line" long. Version 5 files with 256 colours end with a
// marker byte 12 and a 768-byte palette.
//
// The layouts read: 1 bit in 1 to 8 planes (bit k of the index from plane k),
// 2, 4 or 8 bits in one plane, 8 bits in 3 planes (red, green, blue) or 4
// (with alpha), and 32 bits in one plane (blue, green, red and an unused byte).
//
// Where colours come from for 1 to 8 bits: the end palette when its marker is
// there; palette A for versions 0 and 1; the header's 16 colours for several
// planes or 4 and 8 bits; black and white for 1 bit; for 2 bits the colour
// graphics adapter's four-colour sets chosen by the header (entry 0 is also the
// frame's background).
//
// Damaged files. The header must be whole and plausible (else kUnknownFormat,
// as there is no real signature beyond the first byte), its size within the
// image limits, and the file must hold a real share of the rows it declares
// (at the best ratio of the run-length codes when encoded), else kDamaged.
// Pixel data that end early, raw or run-length, count as zero bytes: the rows
// they miss show index 0, or black.
#include "formats/pcx/pcx_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/byte_cursor.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kEndPaletteMarker = 12;
constexpr size_t kEndPaletteSize = 769;  // marker and 256 colours
// A run code is two bytes for at most 63 copies of a byte.
constexpr BestRatio kRunLengthBestRatio{63, 2};

// Red, green, blue of the two 16-colour sets.
constexpr uint8_t kPaletteA[16][3] = {
    {0, 0, 0},       {255, 255, 255}, {0, 170, 0},    {0, 170, 170},
    {170, 0, 0},     {170, 0, 170},   {170, 170, 0},  {170, 170, 170},
    {85, 85, 85},    {85, 85, 255},   {85, 255, 85},  {85, 255, 255},
    {255, 85, 85},   {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
};
constexpr uint8_t kPaletteB[16][3] = {
    {0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
    {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
    {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
    {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255},
};

constexpr uint32_t Bgra(const uint8_t rgb[3]) {
  return uint32_t{rgb[2]} | uint32_t{rgb[1]} << 8 | uint32_t{rgb[0]} << 16 | 0xFF000000u;
}

// The next colour of a table stored red, green, blue.
uint32_t NextColour(ByteCursor& c) {
  const uint32_t red = c.U8(), green = c.U8(), blue = c.U8();
  return blue | green << 8 | red << 16 | 0xFF000000u;
}

struct Header {
  uint8_t version = 0;
  uint8_t encoding = 0;
  uint32_t bits = 0;
  uint32_t planes = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerLine = 0;
};

Status ParseHeader(ByteCursor c, Header* h) {
  if (c.Size() < kHeaderSize || c.U8() != kManufacturer) return status::kUnknownFormat;
  h->version = c.U8();
  h->encoding = c.U8();
  h->bits = c.U8();
  const uint32_t xMin = c.U16LE();
  const uint32_t yMin = c.U16LE();
  const uint32_t xMax = c.U16LE();
  const uint32_t yMax = c.U16LE();
  c.Seek(65);
  h->planes = c.U8();
  h->bytesPerLine = c.U16LE();
  if (!c.Ok()) return status::kUnknownFormat;
  if (h->version == 0) {
    h->planes = h->bits;
    h->bits = 1;
  }
  const uint32_t depth = h->planes * h->bits;
  if (depth < 1 || depth > 32 || h->encoding > 1) return status::kUnknownFormat;
  // A window of one column or one row has equal minimum and maximum.
  if (xMin > xMax || yMin > yMax) return status::kUnknownFormat;
  h->width = xMax - xMin + 1;
  h->height = yMax - yMin + 1;
  return status::kOk;
}

// Continues across rows: a run may end in the next row.
class PcxRunLength {
 public:
  explicit PcxRunLength(ByteCursor data) : data_(data) {}

  size_t Fill(uint8_t* dst, size_t n) {
    size_t done = 0;
    while (done < n) {
      if (repeat_ > 0) {
        const size_t k = std::min<size_t>(repeat_, n - done);
        std::memset(dst + done, value_, k);
        done += k;
        repeat_ -= static_cast<uint32_t>(k);
        continue;
      }
      if (data_.AtEnd()) break;
      const uint8_t b = data_.U8();
      if ((b & 0xC0) == 0xC0) {
        if (data_.AtEnd()) break;
        value_ = data_.U8();
        repeat_ = b & 0x3Fu;
      } else {
        dst[done++] = b;
      }
    }
    return done;
  }

 private:
  ByteCursor data_;
  uint32_t repeat_ = 0;
  uint8_t value_ = 0;
};

class PcxReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void ConvertRow(uint8_t* dst, const uint8_t* src) const;

  Header h_;
  size_t planeBytes_ = 0;
  size_t dataEnd_ = 0;
  uint32_t palette_[256] = {};
};

Status PcxReader::ReadHeader() {
  const ByteCursor file = FileCursor();
  if (Status s = ParseHeader(file, &h_); Failed(s)) return s;
  const uint32_t bits = h_.bits;
  const uint32_t planes = h_.planes;

  uint32_t minStride = 0;
  if (bits == 1 && planes <= 8) {
    outputFormat_ = PixelFormat::Indexed8;
    minStride = (h_.width + 15) & ~15u;
  } else if (bits == 2 && planes == 1) {
    outputFormat_ = PixelFormat::Indexed8;
    minStride = (h_.width + 15) & ~15u;
  } else if ((bits == 4 || bits == 8) && planes == 1) {
    outputFormat_ = PixelFormat::Indexed8;
    minStride = (h_.width + 1) & ~1u;
  } else if ((bits == 8 && (planes == 3 || planes == 4)) || (bits == 32 && planes == 1)) {
    outputFormat_ = PixelFormat::Bgra8;
    minStride = h_.width * 4;
    if (planes == 4) alpha_ = AlphaMode::Straight;
  } else {
    return status::kUnsupportedSubformat;
  }
  if (!WithinFrameLimits(h_.width, h_.height, 1)) return status::kDamaged;

  // Bytes of one plane of a row; a plane too short for the width is damage.
  planeBytes_ = h_.bytesPerLine;
  if (planeBytes_ == 0) planeBytes_ = size_t{(h_.width + 7) / 8} * bits;
  if (planeBytes_ < (uint64_t{h_.width} * bits + 7) / 8) return status::kDamaged;

  width_ = h_.width;
  height_ = h_.height;
  bitDepth_ = bits * planes;
  model_ = ColourModel::Rgb;
  minStride_ = minStride;
  minRows_ = height_;

  const size_t size = file.Size();
  dataEnd_ = size;
  if (outputFormat_ == PixelFormat::Indexed8) {
    std::fill(std::begin(palette_), std::end(palette_), 0xFF000000u);
    ByteCursor end = file.Sub(size - kEndPaletteSize, kEndPaletteSize);
    if (h_.version >= 5 && size >= kHeaderSize + kEndPaletteSize &&
        end.U8() == kEndPaletteMarker) {
      dataEnd_ = size - kEndPaletteSize;
      for (uint32_t i = 0; i < 256; ++i) palette_[i] = NextColour(end);
    } else if (h_.version <= 1) {
      for (uint32_t i = 0; i < 16; ++i) palette_[i] = Bgra(kPaletteA[i]);
    } else if (planes > 1 || (bits != 1 && bits != 2)) {
      ByteCursor colours = file.Sub(16, 48);
      for (uint32_t i = 0; i < 16; ++i) palette_[i] = NextColour(colours);
    } else if (bits == 1) {
      palette_[0] = Bgra(kPaletteB[0]);
      palette_[1] = Bgra(kPaletteB[15]);
    } else {
      // The four-colour sets of the colour graphics adapter: the background
      // from the header, three foreground colours by the palette and
      // intensity bits.
      const uint8_t background = file.PeekU8(16) >> 4;
      const uint8_t select = file.PeekU8(19);
      const bool bright = (select & 0x20) != 0;
      static constexpr uint8_t kSets[3][2][3] = {
          {{3, 4, 7}, {11, 12, 15}},  // the third set of old files
          {{2, 4, 6}, {10, 12, 14}},
          {{3, 5, 7}, {11, 13, 15}},
      };
      const int set = h_.version < 5 && file.PeekU8(64) == 5 ? 0 : (select & 0x40) ? 1 : 2;
      palette_[0] = Bgra(kPaletteB[background]);
      for (int i = 0; i < 3; ++i) palette_[i + 1] = Bgra(kPaletteB[kSets[set][bright][i]]);
      frame_.background = palette_[0];
    }
  }
  if (h_.encoding == 1)
    Properties().SetRaw(PropertyId::Compression, "RLE", -1, TextEncoding::Bytes8);
  pixelData_ = {uint64_t{planeBytes_} * h_.planes * height_, dataEnd_ - kHeaderSize,
                h_.encoding == 1 ? kRunLengthBestRatio : kStoredPlain};
  return status::kOk;
}

void PcxReader::ConvertRow(uint8_t* dst, const uint8_t* src) const {
  const size_t n = width_;
  switch (h_.bits) {
    case 1:
      if (h_.planes == 1) {
        Expand1Bit(dst, src, n);
      } else {
        BitPlanesToIndices(dst, src, planeBytes_, h_.planes, n);
      }
      break;
    case 2:
      Expand2Bit(dst, src, n);
      break;
    case 4:
      Expand4Bit(dst, src, n);
      break;
    case 8:
      if (h_.planes == 1) {
        std::memcpy(dst, src, n);
      } else if (h_.planes == 3) {
        PlanarRgbToBgra8(dst, src, planeBytes_, n);
      } else {
        PlanarRgbaToBgra8(dst, src, planeBytes_, n);
      }
      break;
    default:
      for (size_t x = 0; x < n; ++x) {
        std::memcpy(dst + 4 * x, src + 4 * x, 3);
        dst[4 * x + 3] = 0xFF;
      }
      break;
  }
}

Status PcxReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  if (!plane || plane.width != width_ || plane.height != height_)
    return status::kInvalidArgument;
  if (plane.palette) std::copy(std::begin(palette_), std::end(palette_), plane.palette);

  const size_t rowBytes = planeBytes_ * h_.planes;
  std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
  if (!row) return status::kOutOfMemory;
  const ByteCursor data =
      FileCursor().Sub(kHeaderSize, dataEnd_ > kHeaderSize ? dataEnd_ - kHeaderSize : 0);
  PcxRunLength runs(data);
  ByteCursor raw = data;

  for (uint32_t y = 0; y < height_; ++y) {
    if (IsCancelled(cancel)) return status::kCancelled;
    size_t have;
    if (h_.encoding == 1) {
      have = runs.Fill(row.get(), rowBytes);
    } else {
      have = std::min(rowBytes, raw.Remaining());
      raw.CopyTo(row.get(), have);
    }
    if (have < rowBytes) std::memset(row.get() + have, 0, rowBytes - have);
    ConvertRow(plane.Row(y), row.get());
    if (progress && (y & 63) == 63) progress->Report(y, height_);
  }
  return status::kOk;
}

}  // namespace

Status ProbePcx(const FileSource& source) {
  Header h;
  return ParseHeader(source.Cursor(), &h);
}

RefPtr<ImageReader> CreatePcxReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new PcxReader(source, record));
}

}  // namespace vt
