// PNG (ISO/IEC 15948, W3C second and third editions) with the APNG animation
// chunks acTL, fcTL and fdAT.
//
// Chunk walk. Chunks are length, type, data, CRC; CRCs are not checked (and
// neither is the Adler-32 sum of the image data). A chunk type with a byte that
// is not an ASCII letter, or a chunk whose data run past the end of the file,
// makes the file damaged. IEND ends the walk; a file that simply ends (even in
// the middle of a chunk header) is accepted when it held IHDR and image data.
//
// Damaged and truncated data. Image data that end early decode as far as they
// go: rows the data do not reach are zero (index 0, black, transparent where
// the image has alpha), so every prefix of a file that reaches its image data
// gives the part of the image that arrived. A stream with no image data at all,
// or one that is malformed, is damaged.
//
// Limits: an image beyond the image limits is refused as an unsupported
// variant before anything is allocated; one whose image data hold far less
// than its rows need at deflate's best ratio is damaged; frames beyond either
// are dropped.
// An fcTL whose region leaves the canvas, or is empty, ends the animation
// there: the frames before it stay.
//
// Background colour (bKGD) is read at the image's own depth: 16-bit samples
// give their high byte, 8-bit samples themselves, lower depths are scaled to
// 8 bits the way the pixels are.
#include "formats/png/png_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/meta/xmp_reader.h"
#include "formats/png/png_filter.h"
#include "formats/png/png_inflate.h"
#include "image/row_kernels.h"

namespace vt {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kProbeMinimum = 22;

// Deflate codes at most 258 bytes in a length and distance pair of at least
// two bits: about 1032 to 1.
constexpr BestRatio kDeflateBestRatio{1032, 1};
// The keyword under which XMP packets travel in text chunks.
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";

constexpr uint32_t ChunkType(const char (&s)[5]) {
  return uint32_t{uint8_t(s[0])} << 24 | uint32_t{uint8_t(s[1])} << 16 |
         uint32_t{uint8_t(s[2])} << 8 | uint32_t{uint8_t(s[3])};
}
constexpr uint32_t kIHDR = ChunkType("IHDR");
constexpr uint32_t kPLTE = ChunkType("PLTE");
constexpr uint32_t kIDAT = ChunkType("IDAT");
constexpr uint32_t kIEND = ChunkType("IEND");
constexpr uint32_t kTRNS = ChunkType("tRNS");
constexpr uint32_t kBKGD = ChunkType("bKGD");
constexpr uint32_t kPHYS = ChunkType("pHYs");
constexpr uint32_t kTEXT = ChunkType("tEXt");
constexpr uint32_t kITXT = ChunkType("iTXt");
constexpr uint32_t kACTL = ChunkType("acTL");
constexpr uint32_t kFCTL = ChunkType("fcTL");
constexpr uint32_t kFDAT = ChunkType("fdAT");

bool IsLetter(uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsChunkType(uint32_t t) {
  return IsLetter(t >> 24) && IsLetter((t >> 16) & 0xFF) && IsLetter((t >> 8) & 0xFF) &&
         IsLetter(t & 0xFF);
}

// One chunk of the walk.
struct Chunk {
  uint32_t type = 0;
  size_t dataPos = 0;
  ByteCursor data;
  size_t next = 0;  // where the following chunk starts
};

enum class Step { Chunk, End, Damaged };

// Reads the chunk at pos. End when fewer than 8 bytes remain.
Step ReadChunk(const ByteCursor& file, size_t pos, Chunk* out) {
  ByteCursor head = file.Sub(pos, 8);
  if (!head.Ok()) return Step::End;
  const uint32_t length = head.U32BE();
  out->type = head.U32BE();
  if (!IsChunkType(out->type)) return Step::Damaged;
  out->dataPos = pos + 8;
  if (length > file.Size() - out->dataPos) return Step::Damaged;
  out->data = file.Sub(out->dataPos, length);
  out->next = out->dataPos + length + 4;
  return Step::Chunk;
}

// The bytes up to the next zero, which is passed over; false when none follows.
bool ReadUntilZero(ByteCursor& c, std::span<const uint8_t>* out) {
  const std::span<const uint8_t> rest = c.Tail().Rest();
  const auto zero = std::find(rest.begin(), rest.end(), uint8_t{0});
  if (zero == rest.end()) return false;
  *out = c.Bytes(static_cast<size_t>(zero - rest.begin()));
  c.Skip(1);
  return true;
}

// Samples per pixel of each colour type (0 for the types that do not exist).
constexpr uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};

// Filtered bytes of the image data of a frame: each row of each pass with its
// filter byte.
uint64_t RawImageBytes(uint64_t width, uint64_t height, uint32_t bitsPerPixel, bool adam7);

struct Keyword {
  std::string_view text;
  PropertyId id;
};
constexpr Keyword kKeywords[] = {
    {"Title", PropertyId::Title},          {"Author", PropertyId::Author},
    {"Description", PropertyId::Comment},  {"Copyright", PropertyId::Rights},
    {"Creation Time", PropertyId::CreationDate}, {"Source", PropertyId::Source},
    {"Comment", PropertyId::Comment},
};

// v * 255 / (2^depth - 1), rounded, for samples below 8 bits.
uint8_t ScaleSample(uint32_t v, uint32_t depth) {
  const uint32_t factor = 0x3FC00000u / ((1u << depth) - 1);
  return static_cast<uint8_t>((v * factor + 0x200000u) >> 22);
}

// How one row of file samples becomes one row of the output.
enum class RowMode : uint8_t {
  Gray,        // grey or palette indices into one byte per pixel
  Gray16,      // into Gray16
  GrayKey,     // grey (depth <= 8) with a transparent level, into Bgra8
  GrayKey16,   // 16-bit grey with a transparent level, into Bgra16
  Rgb8,
  Rgb16,
  GrayAlpha,   // grey + alpha below 8 bits
  GrayAlpha8,
  GrayAlpha16,
  Rgba8,
  Rgba16,
};

// IHDR-derived state that every frame of a file shares.
struct PngInfo {
  uint32_t canvasWidth = 0;
  uint32_t canvasHeight = 0;
  uint8_t depth = 0;
  uint8_t colourType = 0;
  uint8_t interlace = 0;
  size_t palettePos = 0;
  uint32_t paletteCount = 0;
  size_t trnsPos = 0;
  uint32_t trnsLength = 0;
  bool animated = false;
  RowMode mode = RowMode::Gray;
};

struct Pass {
  uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

class PngReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  Status ReadIhdr(ByteCursor data);
  void ReadText(ByteCursor data, bool international);
  void ChooseOutput();
  uint32_t Background(const ByteCursor& file, size_t pos, uint32_t length) const;

 public:
  // One row of file samples (unfiltered) into n output pixels.
  void ConvertRow(uint8_t* dst, const uint8_t* src, uint32_t n, uint8_t* scratch) const;

 private:
  void TakeFrameControl(ByteCursor data, size_t next, bool fromImageData);
  void LoadPalette(uint32_t* palette) const;
  void CollectData(std::vector<std::span<const uint8_t>>* pieces) const;
  uint32_t FileBitsPerPixel() const { return kChannels[info_.colourType] * info_.depth; }
  // What the pipeline holds this frame's data to: its raw size against the
  // stored bytes (image data, or the frame data chunks after its fcTL).
  void ClaimPixelData(uint64_t imageDataBytes);
  PngInfo info_;
  uint64_t frameDataBytes_ = 0;
  // Animation frame: its fcTL sequence number, where the chunks after its fcTL
  // start, and whether its data are the IDAT chunks.
  uint32_t sequence_ = 0;
  size_t frameDataPos_ = 0;
  bool fromImageData_ = true;
};

Status PngReader::ReadIhdr(ByteCursor data) {
  const uint32_t width = data.U32BE();
  const uint32_t height = data.U32BE();
  const uint8_t depth = data.U8();
  const uint8_t colourType = data.U8();
  const uint8_t compression = data.U8();
  const uint8_t filter = data.U8();
  const uint8_t interlace = data.U8();
  if (!data.Ok() || width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
    return status::kDamaged;
  const bool low = depth == 1 || depth == 2 || depth == 4;
  bool valid = false;
  switch (colourType) {
    case 0:
    case 4:
      valid = low || depth == 8 || depth == 16;
      break;
    case 2:
    case 6:
      valid = depth == 8 || depth == 16;
      break;
    case 3:
      valid = low || depth == 8;
      break;
    default:
      break;
  }
  if (!valid) return status::kUnsupportedSubformat;
  if (compression != 0) return status::kUnsupportedSubformat;
  Properties().Set(PropertyId::Compression, u"Inflate");
  if (filter != 0) return status::kUnsupportedSubformat;
  if (!WithinFrameLimits(width, height, 1)) return status::kUnsupportedSubformat;
  width_ = width;
  height_ = height;
  info_.canvasWidth = width;
  info_.canvasHeight = height;
  info_.depth = depth;
  info_.colourType = colourType;
  info_.interlace = interlace;
  return status::kOk;
}

void PngReader::ReadText(ByteCursor data, bool international) {
  std::span<const uint8_t> keywordBytes;
  if (!ReadUntilZero(data, &keywordBytes)) return;
  const std::string_view keyword(reinterpret_cast<const char*>(keywordBytes.data()),
                                 keywordBytes.size());
  const bool xmp = keyword == kXmpKeyword;
  const Keyword* known = nullptr;
  for (const Keyword& k : kKeywords) {
    if (k.text == keyword) {
      known = &k;
      break;
    }
  }
  if (!known && !xmp) return;

  bool mayReplace = true;
  if (international) {
    const uint8_t compressed = data.U8();
    data.Skip(1);  // compression method
    if (!data.Ok() || compressed != 0) return;  // compressed: not read
    std::span<const uint8_t> language, translated;
    if (!ReadUntilZero(data, &language)) return;
    const uint8_t first = language.empty() ? 0 : language[0];
    mayReplace = first == 0 || first == 'e' || first == 'E' || first == 'n' || first == 'N';
    if (!ReadUntilZero(data, &translated)) return;
  }
  const std::span<const uint8_t> text = data.Rest();
  if (xmp) {
    ReadXmpPacket(Properties(), text);
    return;
  }
  if (!mayReplace && Properties().Has(known->id)) return;
  const int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), 0x7FFFFFFF));
  Properties().SetRaw(known->id, text.data(), length,
                      international ? TextEncoding::Utf8 : TextEncoding::Bytes8);
}

void PngReader::ChooseOutput() {
  const uint32_t d = info_.depth;
  const bool wide = d == 16;
  model_ = ColourModel::Rgb;
  switch (info_.colourType) {
    case 0:
      if (info_.trnsLength >= 2) {
        outputFormat_ = wide ? PixelFormat::Bgra16 : PixelFormat::Bgra8;
        info_.mode = wide ? RowMode::GrayKey16 : RowMode::GrayKey;
        alpha_ = AlphaMode::Straight;
      } else {
        info_.trnsLength = 0;
        outputFormat_ = wide ? PixelFormat::Gray16 : PixelFormat::Gray8;
        info_.mode = wide ? RowMode::Gray16 : RowMode::Gray;
        model_ = ColourModel::L;
      }
      bitDepth_ = d;
      break;
    case 2:
      if (info_.trnsLength >= 6) {
        alpha_ = AlphaMode::Straight;
      } else {
        info_.trnsLength = 0;
      }
      outputFormat_ = wide ? PixelFormat::Bgra16 : PixelFormat::Bgra8;
      info_.mode = wide ? RowMode::Rgb16 : RowMode::Rgb8;
      bitDepth_ = 3 * d;
      break;
    case 3:
      if (info_.trnsLength > 0) alpha_ = AlphaMode::Straight;
      outputFormat_ = PixelFormat::Indexed8;
      info_.mode = RowMode::Gray;
      bitDepth_ = d;
      break;
    case 4:
      alpha_ = AlphaMode::Straight;
      info_.trnsLength = 0;
      outputFormat_ = wide ? PixelFormat::Bgra16 : PixelFormat::Bgra8;
      info_.mode = wide ? RowMode::GrayAlpha16 : d == 8 ? RowMode::GrayAlpha8 : RowMode::GrayAlpha;
      bitDepth_ = 2 * d;
      break;
    default:
      alpha_ = AlphaMode::Straight;
      info_.trnsLength = 0;
      outputFormat_ = wide ? PixelFormat::Bgra16 : PixelFormat::Bgra8;
      info_.mode = wide ? RowMode::Rgba16 : RowMode::Rgba8;
      bitDepth_ = 4 * d;
      break;
  }
}

uint32_t PngReader::Background(const ByteCursor& file, size_t pos, uint32_t length) const {
  ByteCursor c = file.Sub(pos, length);
  const uint32_t d = info_.depth;
  auto level = [&](uint32_t v) -> uint32_t {
    if (d == 16) return v >> 8;
    if (d == 8) return v & 0xFF;
    return ScaleSample(v & ((1u << d) - 1), d);
  };
  switch (info_.colourType) {
    case 0:
    case 4: {
      if (length < 2) return 0;
      const uint32_t g = level(c.U16BE());
      return g | g << 8 | g << 16 | 0xFF000000u;
    }
    case 2:
    case 6: {
      if (length < 6) return 0;
      const uint32_t r = level(c.U16BE());
      const uint32_t g = level(c.U16BE());
      const uint32_t b = level(c.U16BE());
      return b | g << 8 | r << 16 | 0xFF000000u;
    }
    default: {
      if (length < 1) return 0;
      const uint32_t index = c.U8();
      if (index >= info_.paletteCount) return 0;
      ByteCursor e = file.Sub(info_.palettePos + 3 * size_t{index}, 3);
      const uint32_t r = e.U8(), g = e.U8(), b = e.U8();
      return b | g << 8 | r << 16 | 0xFF000000u;
    }
  }
}

// Delay in milliseconds from the fcTL fraction of a second.
int32_t FrameDelay(uint32_t numerator, uint32_t denominator) {
  if (denominator == 0) denominator = 100;
  if (numerator == 0) return 17;
  return static_cast<int32_t>((numerator * 1000 + denominator / 2) / denominator);
}

Status PngReader::ReadHeader() {
  const ByteCursor file = FileCursor();
  if (!file.StartsWith(kSignature)) return status::kUnknownFormat;
  info_ = PngInfo{};
  alpha_ = AlphaMode::None;
  next_.reset();

  bool haveHeader = false;
  bool imageData = false;
  bool animation = false;
  bool chainEnded = false;
  bool loop = false;
  uint32_t loopCount = 0;  // plays in all, 0 = without end
  size_t backgroundPos = 0;
  uint32_t backgroundLength = 0;
  bool haveBackground = false;
  uint32_t frames = 0;
  PngReader* last = nullptr;
  uint64_t imageDataBytes = 0;

  size_t pos = sizeof kSignature;
  for (;;) {
    Chunk chunk;
    const Step step = ReadChunk(file, pos, &chunk);
    if (step == Step::Damaged) return status::kDamaged;
    if (step == Step::End) {
      if (!imageData) return status::kDamaged;
      break;
    }
    pos = chunk.next;
    const uint32_t length = static_cast<uint32_t>(chunk.data.Size());
    if (chunk.type == kIEND) break;
    if (chunk.type == kIHDR) {
      if (haveHeader) continue;
      if (Status s = ReadIhdr(chunk.data); Failed(s)) return s;
      haveHeader = true;
      continue;
    }
    if (!haveHeader) continue;  // everything else needs the header's values
    switch (chunk.type) {
      case kPLTE:
        if (info_.paletteCount == 0) {
          info_.palettePos = chunk.dataPos;
          info_.paletteCount = std::min<uint32_t>(length / 3, 256);
        }
        break;
      case kTRNS:
        info_.trnsPos = chunk.dataPos;
        info_.trnsLength = length;
        break;
      case kBKGD:
        backgroundPos = chunk.dataPos;
        backgroundLength = length;
        haveBackground = true;
        break;
      case kPHYS: {
        ByteCursor c = chunk.data;
        const uint32_t x = c.U32BE();
        const uint32_t y = c.U32BE();
        if (c.U8() == 1 && c.Ok()) {
          char text[48];
          std::snprintf(text, sizeof text, "%u x %u ppm", x, y);
          Properties().Set(PropertyId::PixelDensity, AsciiToUtf16(text));
        }
        break;
      }
      case kTEXT:
      case kITXT:
        ReadText(chunk.data, chunk.type == kITXT);
        break;
      case kIDAT:
        imageData = true;
        imageDataBytes += length;
        break;
      case kFDAT:
        // Counted for the frame whose fcTL came last, whatever their sequence
        // numbers: only an upper bound of its data is wanted here.
        if (last && length > 4) last->frameDataBytes_ += length - 4;
        break;
      case kACTL: {
        // Animation control counts only ahead of the image data.
        if (imageData || animation || length < 8) break;
        ByteCursor c = chunk.data;
        c.Skip(4);  // frame count: the fcTL chunks decide
        loopCount = c.U32BE();
        loop = loopCount != 1;
        animation = true;
        break;
      }
      case kFCTL: {
        if (!animation || chainEnded || length < 26) break;
        ByteCursor c = chunk.data;
        c.Skip(4);
        const uint64_t w = c.U32BE(), h = c.U32BE(), x = c.U32BE(), y = c.U32BE();
        if (w == 0 || h == 0 || x + w > info_.canvasWidth || y + h > info_.canvasHeight ||
            frames >= kImageLimits.maxFrames) {
          chainEnded = true;
          break;
        }
        if (frames == 0) {
          TakeFrameControl(chunk.data, chunk.next, !imageData);
          info_.animated = true;
          last = this;
        } else {
          RefPtr<PngReader> r = RefPtr<PngReader>::Adopt(new (std::nothrow)
                                                             PngReader(Source(), Record()));
          if (!r) return status::kOutOfMemory;
          r->TakeFrameControl(chunk.data, chunk.next, false);
          PngReader* raw = r.get();
          last->next_ = std::move(r);
          last = raw;
        }
        ++frames;
        break;
      }
      default:
        break;
    }
  }
  if (!haveHeader) return status::kDamaged;

  if (info_.trnsLength > 0 && info_.colourType != 3) {
    // The key colour's samples must all be there.
    const uint32_t need = info_.colourType == 0 ? 2 : info_.colourType == 2 ? 6 : 0;
    if (need == 0 || info_.trnsLength < need) info_.trnsLength = 0;
  }
  ChooseOutput();
  const uint32_t background = haveBackground ? Background(file, backgroundPos, backgroundLength) : 0;

  frame_.canvasWidth = info_.canvasWidth;
  frame_.canvasHeight = info_.canvasHeight;
  frame_.background = background;
  frame_.loop = info_.animated && loop;
  frame_.loopCount = loopCount;
  ClaimPixelData(imageDataBytes);
  for (ImageReader* r = next_.get(); r; r = r->NextReader()) {
    PngReader* p = static_cast<PngReader*>(r);
    const PngInfo frameInfo = info_;
    p->info_ = frameInfo;
    p->ClaimPixelData(imageDataBytes);
    p->outputFormat_ = outputFormat_;
    p->model_ = model_;
    p->alpha_ = alpha_;
    p->bitDepth_ = bitDepth_;
    p->frame_.canvasWidth = info_.canvasWidth;
    p->frame_.canvasHeight = info_.canvasHeight;
    p->frame_.background = background;
    p->frame_.loop = frame_.loop;
    p->frame_.loopCount = frame_.loopCount;
    p->Properties().CopyFrom(Properties());
  }
  return status::kOk;
}

uint64_t RawImageBytes(uint64_t width, uint64_t height, uint32_t bitsPerPixel, bool adam7) {
  uint64_t total = 0;
  for (uint32_t i = 0; i < (adam7 ? 7u : 1u); ++i) {
    const Pass p = adam7 ? kAdam7[i] : Pass{0, 0, 1, 1};
    if (p.x0 >= width || p.y0 >= height) continue;
    const uint64_t w = (width - p.x0 + p.dx - 1) / p.dx;
    const uint64_t h = (height - p.y0 + p.dy - 1) / p.dy;
    total += ((w * bitsPerPixel + 7) / 8 + 1) * h;
  }
  return total;
}

void PngReader::ClaimPixelData(uint64_t imageDataBytes) {
  pixelData_.declared = RawImageBytes(width_, height_, FileBitsPerPixel(), info_.interlace == 1);
  pixelData_.present = !info_.animated || fromImageData_ ? imageDataBytes : frameDataBytes_;
  pixelData_.best = kDeflateBestRatio;
}

// Takes this frame's region, timing and data source from an fcTL (already
// checked against the canvas). The default image, whose fcTL comes before the
// image data, keeps the IHDR size.
void PngReader::TakeFrameControl(ByteCursor data, size_t next, bool fromImageData) {
  sequence_ = data.U32BE();
  const uint32_t w = data.U32BE(), h = data.U32BE(), x = data.U32BE(), y = data.U32BE();
  const uint32_t numerator = data.U16BE(), denominator = data.U16BE();
  const uint8_t disposal = data.U8();
  const uint8_t blend = data.U8();
  fromImageData_ = fromImageData;
  frameDataPos_ = next;
  if (!fromImageData) {
    width_ = w;
    height_ = h;
    frame_.x = x;
    frame_.y = y;
  }
  frame_.delay = FrameDelay(numerator, denominator);
  frame_.disposal = disposal <= 2 ? disposal : 0;
  frame_.blend = blend == 1 ? 1 : 0;
}

void PngReader::LoadPalette(uint32_t* palette) const {
  std::fill(palette, palette + 256, 0xFF000000u);
  const ByteCursor file = FileCursor();
  ByteCursor c = file.Sub(info_.palettePos, size_t{info_.paletteCount} * 3);
  for (uint32_t i = 0; i < info_.paletteCount && c.Ok(); ++i) {
    const uint32_t r = c.U8(), g = c.U8(), b = c.U8();
    palette[i] = b | g << 8 | r << 16 | 0xFF000000u;
  }
  if (info_.trnsLength > 0) {
    const uint32_t n = std::min<uint32_t>(info_.trnsLength, 256);
    ByteCursor t = file.Sub(info_.trnsPos, n);
    for (uint32_t i = 0; i < n && t.Ok(); ++i)
      palette[i] = (palette[i] & 0x00FFFFFFu) | uint32_t{t.U8()} << 24;
  }
}

// The data chunks of this frame, in file order.
void PngReader::CollectData(std::vector<std::span<const uint8_t>>* pieces) const {
  const ByteCursor file = FileCursor();
  if (!info_.animated || fromImageData_) {
    for (size_t pos = sizeof kSignature;;) {
      Chunk chunk;
      if (ReadChunk(file, pos, &chunk) != Step::Chunk || chunk.type == kIEND) return;
      if (chunk.type == kIDAT) pieces->push_back(chunk.data.Rest());
      pos = chunk.next;
    }
  }
  uint32_t lastUsed = sequence_;
  for (size_t pos = frameDataPos_;;) {
    Chunk chunk;
    if (ReadChunk(file, pos, &chunk) != Step::Chunk || chunk.type == kIEND) return;
    pos = chunk.next;
    ByteCursor c = chunk.data;
    if (chunk.type == kFDAT) {
      const uint32_t sequence = c.U32BE();
      if (c.Ok() && sequence == lastUsed + 1) {
        pieces->push_back(c.Rest());
        lastUsed = sequence;
      }
    } else if (chunk.type == kFCTL) {
      const uint32_t sequence = c.U32BE();
      if (c.Ok() && sequence > lastUsed) return;
    }
  }
}

void PngReader::ConvertRow(uint8_t* dst, const uint8_t* src, uint32_t n, uint8_t* scratch) const {
  const uint32_t d = info_.depth;
  const RowKernels& k = ActiveRowKernels();
  auto unpack = [&](uint8_t* out, size_t samples) {
    switch (d) {
      case 1:
        k.expand1Bit(out, src, samples);
        break;
      case 2:
        k.expand2Bit(out, src, samples);
        break;
      case 4:
        k.expand4Bit(out, src, samples);
        break;
      default:
        std::memcpy(out, src, samples);
        break;
    }
  };
  const ByteCursor trns = FileCursor().Sub(info_.trnsPos, info_.trnsLength);
  auto key = [&](size_t i) {
    ByteCursor c = trns;
    c.Skip(2 * i);
    return c.U16BE();
  };
  switch (info_.mode) {
    case RowMode::Gray:
      unpack(dst, n);
      break;
    case RowMode::Gray16:
      k.stridedCopy16(dst, src, n, 1, true);
      break;
    case RowMode::GrayKey: {
      unpack(scratch, n);
      const uint32_t transparent = key(0);
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t v = scratch[i];
        const uint32_t g = d == 8 ? v : ScaleSample(v, d);
        const uint32_t p = g | g << 8 | g << 16 | (v == transparent ? 0u : 0xFF000000u);
        std::memcpy(dst + 4 * size_t{i}, &p, 4);
      }
      break;
    }
    case RowMode::GrayKey16: {
      const uint16_t transparent = key(0);
      for (uint32_t i = 0; i < n; ++i) {
        const uint16_t v = static_cast<uint16_t>(src[2 * i] << 8 | src[2 * i + 1]);
        const uint16_t p[4] = {v, v, v, static_cast<uint16_t>(v == transparent ? 0 : 0xFFFF)};
        std::memcpy(dst + 8 * size_t{i}, p, 8);
      }
      break;
    }
    case RowMode::Rgb8:
      k.rgb8ToBgra8(dst, src, n);
      if (info_.trnsLength >= 6) {
        const uint32_t r = key(0) & 0xFF, g = key(1) & 0xFF, b = key(2) & 0xFF;
        const uint32_t match = b | g << 8 | r << 16 | 0xFF000000u;
        for (uint32_t i = 0; i < n; ++i) {
          uint32_t p;
          std::memcpy(&p, dst + 4 * size_t{i}, 4);
          if (p == match) dst[4 * size_t{i} + 3] = 0;
        }
      }
      break;
    case RowMode::Rgb16:
      k.rgb16ToBgra16(dst, src, n, true);
      if (info_.trnsLength >= 6) {
        const uint16_t r = key(0), g = key(1), b = key(2);
        for (uint32_t i = 0; i < n; ++i) {
          uint16_t p[4];
          std::memcpy(p, dst + 8 * size_t{i}, 8);
          if (p[0] == b && p[1] == g && p[2] == r) {
            p[3] = 0;
            std::memcpy(dst + 8 * size_t{i}, p, 8);
          }
        }
      }
      break;
    case RowMode::GrayAlpha:
      unpack(scratch, 2 * size_t{n});
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t g = ScaleSample(scratch[2 * i], d);
        const uint32_t a = ScaleSample(scratch[2 * i + 1], d);
        const uint32_t p = g | g << 8 | g << 16 | a << 24;
        std::memcpy(dst + 4 * size_t{i}, &p, 4);
      }
      break;
    case RowMode::GrayAlpha8:
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t g = src[2 * i], a = src[2 * i + 1];
        const uint32_t p = g | g << 8 | g << 16 | a << 24;
        std::memcpy(dst + 4 * size_t{i}, &p, 4);
      }
      break;
    case RowMode::GrayAlpha16:
      for (uint32_t i = 0; i < n; ++i) {
        const uint16_t g = static_cast<uint16_t>(src[4 * i] << 8 | src[4 * i + 1]);
        const uint16_t a = static_cast<uint16_t>(src[4 * i + 2] << 8 | src[4 * i + 3]);
        const uint16_t p[4] = {g, g, g, a};
        std::memcpy(dst + 8 * size_t{i}, p, 8);
      }
      break;
    case RowMode::Rgba8:
      k.rgba8ToBgra8(dst, src, n);
      break;
    case RowMode::Rgba16:
      k.rgba16ToBgra16(dst, src, n, true);
      break;
  }
}

Status PngReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  if (info_.interlace > 1) return status::kUnsupportedSubformat;
  const PlaneView plane = target->View(outputFormat_);
  if (!plane) return status::kUnsupportedColourFormat;
  if (plane.width != width_ || plane.height != height_) return status::kInvalidArgument;
  if (plane.palette) LoadPalette(plane.palette);

  // Bits per pixel of the file rows.
  const uint32_t bitsPerPixel = FileBitsPerPixel();
  const uint32_t filterBpp = std::max<uint32_t>(1, bitsPerPixel / 8);

  struct PassPlan {
    Pass pass;
    uint32_t width = 0, height = 0;
    size_t rowBytes = 0;
    size_t start = 0;
  };
  PassPlan plans[7];
  uint32_t passCount = 0;
  size_t total = 0;
  size_t widestRow = 0;
  const uint32_t passesInFile = info_.interlace == 1 ? 7 : 1;
  for (uint32_t i = 0; i < passesInFile; ++i) {
    const Pass p = info_.interlace == 1 ? kAdam7[i] : Pass{0, 0, 1, 1};
    if (p.x0 >= width_ || p.y0 >= height_) continue;  // no pixels in this pass
    PassPlan& plan = plans[passCount++];
    plan.pass = p;
    plan.width = (width_ - p.x0 + p.dx - 1) / p.dx;
    plan.height = (height_ - p.y0 + p.dy - 1) / p.dy;
    plan.rowBytes = static_cast<size_t>((uint64_t{bitsPerPixel} * plan.width + 7) / 8);
    plan.start = total;
    uint64_t bytes = 0;
    // The header limits keep this far below the cap.
    if (!CheckedMul(plan.rowBytes + 1, plan.height, uint64_t{1} << 40, &bytes))
      return status::kOutOfMemory;
    total += static_cast<size_t>(bytes);
    widestRow = std::max(widestRow, plan.rowBytes);
  }

  // Slack after the data and the zero row: the vector unfilters read ahead.
  constexpr size_t kSlack = 32;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[total + kSlack]);
  std::unique_ptr<uint8_t[]> zeros(new (std::nothrow) uint8_t[widestRow + kSlack]());
  const size_t scratchBytes = 2 * size_t{width_} + kSlack;
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[scratchBytes]);
  const bool interlaced = passCount > 1 || info_.interlace == 1;
  std::unique_ptr<uint8_t[]> passRow;
  if (interlaced)
    passRow.reset(new (std::nothrow) uint8_t[size_t{width_} * BytesPerPixel(outputFormat_) + kSlack]);
  if (!data || !zeros || !scratch || (interlaced && !passRow)) return status::kOutOfMemory;

  if (progress) progress->Report(10, 100);
  std::vector<std::span<const uint8_t>> pieces;
  CollectData(&pieces);

  // Rows are unfiltered and converted in file order, each as soon as all its
  // bytes are inflated (the inflater reports progress while the data are
  // still in the cache); interlaced images wait for the whole stream.
  struct RowWork {
    const PngReader* self;
    const PlaneView* plane;
    const PassPlan* plans;
    uint32_t passCount;
    uint8_t* data;
    const uint8_t* zeros;
    uint8_t* scratch;
    uint8_t* passRow;
    uint32_t filterBpp;
    uint32_t outBpp;
    bool interlaced;
    const PngFilterKernels* filters;
    const CancelFlag* cancel;
    uint32_t pass = 0;
    uint32_t row = 0;
    bool stopped = false;

    void Run(size_t available) {
      while (pass < passCount && !stopped) {
        const PassPlan& plan = plans[pass];
        if (row == plan.height) {
          ++pass;
          row = 0;
          continue;
        }
        const size_t begin = plan.start + size_t{row} * (plan.rowBytes + 1);
        if (begin + plan.rowBytes + 1 > available) return;
        if (IsCancelled(cancel)) {
          stopped = true;
          return;
        }
        uint8_t* line = data + begin;
        const uint8_t* prev = row == 0 ? zeros : line - plan.rowBytes;
        UnfilterPngRow(*filters, line[0], line + 1, prev, plan.rowBytes, filterBpp);
        const uint32_t y = plan.pass.y0 + row * plan.pass.dy;
        if (!interlaced) {
          self->ConvertRow(plane->Row(y), line + 1, plan.width, scratch);
        } else {
          self->ConvertRow(passRow, line + 1, plan.width, scratch);
          uint8_t* out = plane->Row(y) + size_t{plan.pass.x0} * outBpp;
          const size_t step = size_t{plan.pass.dx} * outBpp;
          for (uint32_t x = 0; x < plan.width; ++x)
            std::memcpy(out + x * step, passRow + size_t{x} * outBpp, outBpp);
        }
        ++row;
      }
    }
    static void Ready(void* context, size_t produced) {
      static_cast<RowWork*>(context)->Run(produced);
    }
  };
  RowWork work{this, &plane, plans, passCount, data.get(), zeros.get(), scratch.get(),
               passRow.get(), filterBpp, BytesPerPixel(outputFormat_), interlaced,
               &ActivePngFilterKernels(), cancel};

  size_t produced = 0;
  PngInflateReady ready;
  if (!interlaced) {
    ready.call = RowWork::Ready;
    ready.context = &work;
  }
  const Status inflated =
      ActivePngInflateFunction()(pieces, data.get(), total, &produced, cancel, ready);
  if (Failed(inflated)) return inflated;
  if (IsCancelled(cancel)) return status::kCancelled;
  if (produced == 0) return status::kDamaged;
  if (progress) progress->Report(50, 100);
  // Rows the data did not reach: filter 0 and zero samples.
  std::memset(data.get() + produced, 0, total - produced + kSlack);
  if (progress) progress->Report(75, 100);
  work.Run(total);
  return work.stopped ? status::kCancelled : status::kOk;
}

}  // namespace

Status ProbePng(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  return source.Cursor().StartsWith(kSignature) ? status::kOk : status::kUnknownFormat;
}

RefPtr<ImageReader> CreatePngReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new (std::nothrow) PngReader(source, record));
}

}  // namespace vt
