// PSD documents: the merged image that follows the layer section.
//
// Layout (all integers big-endian): a 26-byte header ("8BPS", version, six
// reserved bytes, channels, height, width, bits per channel, colour mode), then
// three sections each preceded by its length: colour-mode data (the palette of
// indexed images), image resources (metadata blocks) and layers and masks. Then
// the compression word of the merged image and its data, channel after
// channel. Version 2 documents store the layer section's length and the
// run-length row counts in 8 and 4 bytes where version 1 uses 4 and 2.
//
// Channels this reader uses: grey and duotone channel 0, indexed channel 0 (a
// palette index), RGB channels 0-2, CMYK channels 0-3 and Lab channels 0-2.
// Further channels (alpha, spot colours, saved selections) are not read, so an
// RGB document with an alpha channel shows opaque.
//
// CMYK samples are stored as 255 minus the ink (255 is no ink): they go out
// under the inverted model CMYL. Lab a and b are stored with 128 added; they go
// out as the signed bytes the Lab conversion takes.
//
// Damaged files. Everything up to and including the compression word must be
// in the file, else kDamaged, and so must a real share of the image data the
// header declares (at the best ratio of PackBits when they are run-length
// encoded). Past that nothing is refused: image data that end early (or a
// run-length stream that runs dry) give the samples they hold, and every
// sample without data is 0; positions no channel fills (alpha) are opaque.
#include "formats/psd/psd_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/byte_cursor.h"
#include "formats/meta/image_resources.h"
#include "formats/psd/psd_packbits.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

constexpr uint8_t kSignature[] = {'8', 'B', 'P', 'S'};
constexpr size_t kProbeMinimum = 30;
constexpr size_t kHeaderSize = 26;

// Large documents allow 300000 pixels a side, ordinary ones 30000; the image
// limits cap the plane.
constexpr uint32_t kMaxSide = 300000;
// Every row of every channel is its own PackBits stream: a repeat code is two
// bytes for at most 128 bytes of samples.
constexpr BestRatio kPackBitsBestRatio{128, 2};

enum Mode : uint16_t {
  kModeGray = 1,
  kModeIndexed = 2,
  kModeRgb = 3,
  kModeCmyk = 4,
  kModeDuotone = 8,
  kModeLab = 9,
};

bool ValidSignature(ByteCursor c, uint16_t* version) {
  if (!c.StartsWith(kSignature)) return false;
  c.Skip(4);
  *version = c.U16BE();
  return c.Ok() && (*version == 1 || *version == 2);
}

class PsdReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void PlaceRow(uint8_t* dst, const uint8_t* src, size_t samples, uint32_t position) const;
  void FinishRow(uint8_t* dst) const;
  uint32_t UsedChannels() const;
  void LoadPalette(uint32_t* palette) const;

  uint16_t version_ = 1;
  uint16_t channels_ = 0;
  uint16_t bits_ = 0;
  uint16_t mode_ = 0;
  bool runLength_ = false;
  size_t paletteStart_ = 0;
  uint32_t paletteEntries_ = 0;
  size_t dataStart_ = 0;
};

Status PsdReader::ReadHeader() {
  ByteCursor file = FileCursor();
  if (file.Size() < kProbeMinimum || !ValidSignature(file, &version_))
    return status::kUnknownFormat;
  file.Seek(12);
  channels_ = file.U16BE();
  const uint32_t height = file.U32BE();
  const uint32_t width = file.U32BE();
  bits_ = file.U16BE();
  mode_ = file.U16BE();
  if (!file.Ok()) return status::kUnknownFormat;

  if (bits_ != 8 && bits_ != 16 && bits_ != 32) return status::kUnsupportedSubformat;
  uint32_t minChannels = 0;
  bool eightOnly = false;
  switch (mode_) {
    case kModeGray:
    case kModeDuotone:
      minChannels = 1;
      outputFormat_ = bits_ == 8    ? PixelFormat::Gray8
                      : bits_ == 16 ? PixelFormat::Gray16
                                    : PixelFormat::GrayFloat;
      model_ = ColourModel::L;
      alpha_ = AlphaMode::None;
      break;
    case kModeIndexed:
      minChannels = 1;
      eightOnly = true;
      outputFormat_ = PixelFormat::Indexed8;
      model_ = ColourModel::Rgb;
      alpha_ = AlphaMode::Straight;
      break;
    case kModeRgb:
      minChannels = 3;
      outputFormat_ = bits_ == 8    ? PixelFormat::Bgra8
                      : bits_ == 16 ? PixelFormat::Bgra16
                                    : PixelFormat::BgraFloat;
      model_ = ColourModel::Rgb;
      alpha_ = channels_ > 3 ? AlphaMode::Straight : AlphaMode::None;
      break;
    case kModeCmyk:
      minChannels = 4;
      eightOnly = true;
      outputFormat_ = PixelFormat::Bgra8;
      model_ = ColourModel::Cmyl;
      alpha_ = AlphaMode::None;
      break;
    case kModeLab:
      minChannels = 3;
      eightOnly = true;
      outputFormat_ = PixelFormat::Bgra8;
      model_ = ColourModel::Lab;
      alpha_ = AlphaMode::None;
      break;
    default:
      return status::kUnsupportedSubformat;
  }
  if (eightOnly && bits_ != 8) return status::kUnsupportedSubformat;
  if (channels_ < minChannels) return status::kUnsupportedSubformat;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
      !WithinFrameLimits(width, height, BytesPerPixel(outputFormat_)))
    return status::kDamaged;
  width_ = width;
  height_ = height;
  bitDepth_ = uint32_t{bits_} * channels_;

  // Colour-mode data: the palette of an indexed image, all reds, then all
  // greens, then all blues.
  file.Seek(kHeaderSize);
  const uint32_t colourLength = file.U32BE();
  const size_t colourStart = file.Position();
  if (!file.Ok() || !file.Skip(colourLength)) return status::kDamaged;
  paletteStart_ = colourStart;
  paletteEntries_ = mode_ == kModeIndexed ? std::min<uint32_t>(colourLength / 3, 256) : 0;

  const uint32_t resourceLength = file.U32BE();
  const std::span<const uint8_t> resources = file.Bytes(resourceLength);
  if (!file.Ok()) return status::kDamaged;
  ReadImageResources(Properties(), resources);

  const uint64_t layerLength = version_ == 2 ? file.U64BE() : file.U32BE();
  if (!file.Ok() || layerLength > file.Remaining() ||
      !file.Skip(static_cast<size_t>(layerLength)))
    return status::kDamaged;

  const uint16_t compression = file.U16BE();
  if (!file.Ok()) return status::kDamaged;
  if (compression > 1) return status::kUnsupportedSubformat;
  runLength_ = compression == 1;
  if (runLength_) Properties().SetRaw(PropertyId::Compression, "RLE", -1, TextEncoding::Bytes8);
  dataStart_ = file.Position();

  minRows_ = height_;
  minStride_ = width_ * BytesPerPixel(outputFormat_);
  pixelData_.declared = uint64_t{UsedChannels()} * height_ * width_ * (bits_ / 8);
  pixelData_.present = file.Remaining();
  pixelData_.best = runLength_ ? kPackBitsBestRatio : kStoredPlain;
  return status::kOk;
}

// The channels Decode reads, and the pixel position each one goes to.
uint32_t PsdReader::UsedChannels() const {
  return mode_ == kModeRgb || mode_ == kModeLab ? 3 : mode_ == kModeCmyk ? 4 : 1;
}

// Puts one channel's row of big-endian samples at a position of each pixel.
void PsdReader::PlaceRow(uint8_t* dst, const uint8_t* src, size_t samples,
                         uint32_t position) const {
  const bool gray = outputFormat_ != PixelFormat::Bgra8 && outputFormat_ != PixelFormat::Bgra16 &&
                    outputFormat_ != PixelFormat::BgraFloat;
  const size_t step = gray ? 1 : 4;
  switch (bits_) {
    case 8:
      if (gray) {
        std::memcpy(dst, src, samples);
      } else {
        StridedByteCopy(dst + position, src, samples, step);
      }
      break;
    case 16:
      StridedCopy16(dst + 2 * position, src, samples, step, true);
      break;
    default:
      StridedCopy32(dst + 4 * position, src, samples, step, true);
      break;
  }
}

// Positions no channel fills: alpha opaque; Lab a and b to signed bytes.
void PsdReader::FinishRow(uint8_t* dst) const {
  if (mode_ == kModeRgb) {
    if (bits_ == 8) {
      for (uint32_t x = 0; x < width_; ++x) dst[4 * x + 3] = 0xFF;
    } else if (bits_ == 16) {
      for (uint32_t x = 0; x < width_; ++x) {
        dst[8 * x + 6] = 0xFF;
        dst[8 * x + 7] = 0xFF;
      }
    } else {
      const float one = 1.0f;
      for (uint32_t x = 0; x < width_; ++x) std::memcpy(dst + 16 * x + 12, &one, 4);
    }
  } else if (mode_ == kModeLab) {
    for (uint32_t x = 0; x < width_; ++x) {
      dst[4 * x + 1] ^= 0x80;
      dst[4 * x + 2] ^= 0x80;
      dst[4 * x + 3] = 0xFF;
    }
  }
}

void PsdReader::LoadPalette(uint32_t* palette) const {
  std::fill(palette, palette + 256, 0xFF000000u);
  ByteCursor colours = FileCursor().Sub(paletteStart_, size_t{paletteEntries_} * 3);
  const std::span<const uint8_t> p = colours.Bytes(colours.Size());
  for (uint32_t i = 0; i < paletteEntries_ && !p.empty(); ++i) {
    const uint32_t red = p[i];
    const uint32_t green = p[paletteEntries_ + i];
    const uint32_t blue = p[2 * paletteEntries_ + i];
    palette[i] = blue | green << 8 | red << 16 | 0xFF000000u;
  }
}

Status PsdReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  if (!plane || plane.width != width_ || plane.height != height_)
    return status::kInvalidArgument;
  if (runLength_ && bits_ == 32) return kPsdFloatRunLength;
  if (plane.palette) LoadPalette(plane.palette);

  static constexpr uint32_t kRgbPositions[] = {2, 1, 0};
  static constexpr uint32_t kInOrder[] = {0, 1, 2, 3};
  const uint32_t used = UsedChannels();
  const uint32_t* positions = mode_ == kModeRgb ? kRgbPositions : kInOrder;

  const size_t sampleBytes = bits_ / 8;
  const size_t rowBytes = size_t{width_} * sampleBytes;
  const size_t pixelBytes = BytesPerPixel(outputFormat_);
  ByteCursor data = FileCursor();
  data.Seek(dataStart_);

  std::unique_ptr<uint8_t[]> rowBuffer;
  PackBitsStream packBits{ByteCursor()};
  if (runLength_) {
    rowBuffer.reset(new (std::nothrow) uint8_t[rowBytes]);
    if (!rowBuffer) return status::kOutOfMemory;
    // The table of compressed row sizes is not needed: runs are read in order.
    const uint64_t table = uint64_t{channels_} * height_ * (version_ == 2 ? 4 : 2);
    if (data.Skip(table)) packBits = PackBitsStream(data.Tail());
  }

  // Rows of the channels in reading order, reported every 32.
  const uint32_t totalRows = used * height_;
  uint32_t rowsDone = 0;
  for (uint32_t c = 0; c < used; ++c) {
    const uint32_t position = positions[c];
    for (uint32_t y = 0; y < height_; ++y, ++rowsDone) {
      if (IsCancelled(cancel)) return status::kCancelled;
      if (progress && (rowsDone & 31) == 31) progress->Report(rowsDone, totalRows);
      std::span<const uint8_t> src;
      if (runLength_) {
        src = {rowBuffer.get(), packBits.Fill(rowBuffer.get(), rowBytes)};
      } else {
        src = data.BytesUpTo(rowBytes);
      }
      const size_t samples = src.size() / sampleBytes;
      uint8_t* dst = plane.Row(y);
      if (samples > 0) PlaceRow(dst, src.data(), samples, position);
      if (samples < width_) {
        // No data for the rest of this row of the channel.
        uint8_t* p = dst + samples * pixelBytes + position * sampleBytes;
        for (size_t x = samples; x < width_; ++x, p += pixelBytes) std::memset(p, 0, sampleBytes);
      }
    }
  }
  if (mode_ == kModeRgb || mode_ == kModeLab) {
    for (uint32_t y = 0; y < height_; ++y) {
      if (IsCancelled(cancel)) return status::kCancelled;
      FinishRow(plane.Row(y));
    }
  }
  return status::kOk;
}

}  // namespace

Status ProbePsd(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  uint16_t version = 0;
  return ValidSignature(source.Cursor(), &version) ? status::kOk : status::kUnknownFormat;
}

RefPtr<ImageReader> CreatePsdReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new PsdReader(source, record));
}

}  // namespace vt
