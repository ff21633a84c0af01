// JPEG files: the segment scan for size, format and metadata, and the hand-off
// of the stream to the decoder.
//
// Some files carry a 692-byte preamble of another program before the stream;
// the stream is then read from there.
//
// Damaged files. The header pass needs the frame header: a file without one
// fails with kDamaged. After it, entropy data decode as far as they go (see the
// decoder), so a truncated file gives the rows that arrived; the rest keep the
// buffer's initial contents.
#include "formats/jpeg/jpeg_reader.h"

#include <cstdio>
#include <cstring>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/jpeg/jpeg_decoder.h"
#include "formats/meta/exif_reader.h"
#include "formats/meta/image_resources.h"
#include "formats/meta/xmp_reader.h"

namespace vt {

namespace {

constexpr size_t kPreambleOffset = 692;
// Every block of a Huffman-coded scan takes at least one bit, its DC
// difference code: 64 samples per bit. (Arithmetic coding has no such bound:
// its estimates can make a block cost a small fraction of a bit.)
constexpr BestRatio kHuffmanBestRatio{64 * 8, 1};

constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";  // 28 characters and a zero

size_t StreamStart(const ByteCursor& file) {
  static constexpr uint8_t kSoi[] = {0xFF, 0xD8};
  if (file.Sub(0, 2).StartsWith(kSoi)) return 0;
  if (file.Sub(kPreambleOffset, 2).StartsWith(kSoi)) return kPreambleOffset;
  return SIZE_MAX;
}

class JpegReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void ReadSegment(uint8_t marker, ByteCursor payload);
  Status ReadFrameHeader(uint8_t marker, ByteCursor payload);

  size_t start_ = 0;
  size_t frameEnd_ = 0;  // where the frame header's segment ends
  uint32_t components_ = 0;
};

Status JpegReader::ReadFrameHeader(uint8_t marker, ByteCursor c) {
  switch (marker) {
    case 0xC0:
    case 0xC1:
    case 0xC2:
      Properties().Set(PropertyId::Compression, u"HuffDCT");
      break;
    case 0xC9:
    case 0xCA:
      Properties().Set(PropertyId::Compression, u"ArithDCT");
      break;
    default:
      return status::kUnsupportedSubformat;
  }
  const bool huffman = marker < 0xC8;
  const uint32_t precision = c.U8();
  height_ = c.U16BE();
  width_ = c.U16BE();
  components_ = c.U8();
  if (!c.Ok()) return status::kDamaged;
  if (components_ != 1 && components_ != 3 && components_ != 4)
    return status::kUnsupportedSubformat;
  uint32_t hmax = 1, vmax = 1;
  uint32_t blocksPerMcu = 0;
  for (uint32_t i = 0; i < components_; ++i) {
    c.Skip(1);
    const uint8_t sampling = c.U8();
    c.Skip(1);
    const uint32_t h = std::clamp<uint32_t>(sampling >> 4, 1, 4);
    const uint32_t v = std::clamp<uint32_t>(sampling & 15, 1, 4);
    if (components_ > 1) {
      hmax = std::max(hmax, h);
      vmax = std::max(vmax, v);
    }
    blocksPerMcu += components_ > 1 ? h * v : 1;
  }
  if (!c.Ok() || width_ == 0 || height_ == 0) return status::kDamaged;
  if (!WithinFrameLimits(width_, height_, components_ == 1 ? 1 : 4)) return status::kDamaged;
  bitDepth_ = components_ * precision;
  outputFormat_ = components_ == 1 ? PixelFormat::Gray8 : PixelFormat::Bgra8;
  model_ = components_ == 1 ? ColourModel::L
                            : components_ == 3 ? ColourModel::YCbCr : ColourModel::Cmyk;
  const uint32_t mcuW = 8 * hmax, mcuH = 8 * vmax;
  minStride_ = (width_ + mcuW - 1) / mcuW * mcuW * (components_ > 1 ? 4 : 1);
  minRows_ = (height_ + mcuH - 1) / mcuH * mcuH;
  reducedWidth_ = (width_ + 7) / 8;
  reducedHeight_ = (height_ + 7) / 8;
  // Every block of the image as 64 decoded samples, against the data after
  // the frame header.
  const uint64_t mcus = uint64_t{(width_ + mcuW - 1) / mcuW} * ((height_ + mcuH - 1) / mcuH);
  pixelData_.declared = mcus * blocksPerMcu * 64;
  pixelData_.present = FileSize() - frameEnd_;
  pixelData_.best = huffman ? kHuffmanBestRatio : kNoRatioBound;
  return status::kOk;
}

void JpegReader::ReadSegment(uint8_t marker, ByteCursor c) {
  auto begins = [&](const char* text, size_t n) {
    return c.StartsWith({reinterpret_cast<const uint8_t*>(text), n});
  };
  const std::span<const uint8_t> p = c.Tail().Rest();
  if (marker == 0xE0) {
    const uint8_t units = c.PeekU8(7);
    if (p.size() > 13 && begins("JFIF", 5) && units != 0 &&
        !Properties().Has(PropertyId::PixelDensity)) {
      ByteCursor density = c.Sub(8, 4);
      const int x = density.U16BE();
      const int y = density.U16BE();
      char text[48] = {};
      if (units == 1) {
        std::snprintf(text, sizeof text, "%d x %d ppi", x, y);
      } else if (units == 2) {
        std::snprintf(text, sizeof text, "%d x %d ppm", x * 100, y * 100);
      }
      if (text[0]) Properties().Set(PropertyId::PixelDensity, AsciiToUtf16(text));
    }
  } else if (marker == 0xE1) {
    if (p.size() >= 7 && begins("Exif", 5)) {
      ReadExifBlock(Properties(), p);
    } else if (p.size() > 29 && begins(kXmpId, sizeof kXmpId)) {
      c.Skip(sizeof kXmpId);
      ReadXmpPacket(Properties(), c.Rest());
    }
  } else if (marker == 0xED) {
    if (p.size() > 14 && begins("Photoshop 3.0", 14)) ReadImageResources(Properties(), p);
  } else if (marker == 0xFE) {
    if (!p.empty() && !begins("<?", 2) && !Properties().Has(PropertyId::Comment)) {
      Properties().SetRaw(PropertyId::Comment, p.data(), static_cast<int32_t>(p.size()),
                          TextEncoding::Bytes8);
    }
  }
}

Status JpegReader::ReadHeader() {
  ByteCursor c = FileCursor();
  start_ = StreamStart(c);
  if (start_ == SIZE_MAX) return status::kUnknownFormat;
  c.Seek(start_ + 2);
  while (c.Remaining() >= 4) {
    // Next marker: up to a 0xFF, past fill bytes; 0xFF 0x00 is stuffing.
    while (c.Remaining() && c.PeekU8() != 0xFF) c.Skip(1);
    while (c.Remaining() && c.PeekU8() == 0xFF) c.Skip(1);
    if (c.Remaining() < 3) break;
    const uint8_t marker = c.U8();
    if (marker == 0x00) continue;
    const uint16_t length = c.U16BE();
    if (length < 2 || length - 2u > c.Remaining()) break;
    const ByteCursor payload(c.Bytes(length - 2u));
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC) {
      frameEnd_ = c.Position();
      return ReadFrameHeader(marker, payload);
    }
    ReadSegment(marker, payload);
  }
  return status::kDamaged;
}

Status JpegReader::Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                          const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  const uint32_t w = reduced ? reducedWidth_ : width_;
  const uint32_t h = reduced ? reducedHeight_ : height_;
  if (!plane || plane.width != w || plane.height != h) return status::kInvalidArgument;
  ByteCursor stream = FileCursor();
  stream.Seek(start_);
  JpegDecoder decoder(stream.Rest());
  Status s = decoder.ReadHeader();
  if (Failed(s)) return s;
  if (decoder.Width() != width_ || decoder.Height() != height_ ||
      decoder.Components() != components_)
    return status::kDamaged;
  if (IsCancelled(cancel)) return status::kCancelled;
  s = decoder.Decode(plane, BytesPerPixel(outputFormat_), reduced, progress, cancel);
  model_ = decoder.Model();
  return s;
}

}  // namespace

Status ProbeJpeg(const FileSource& source) {
  return StreamStart(source.Cursor()) == SIZE_MAX ? status::kUnknownFormat : status::kOk;
}

RefPtr<ImageReader> CreateJpegReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new JpegReader(source, record));
}

}  // namespace vt
