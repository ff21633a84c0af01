// GIF87a and GIF89a files (the GIF89a specification): the logical screen, the
// global and local colour tables, graphic control, comment and application
// extensions, and the LZW image data of every frame.
//
// The first reader parses the whole file in one pass and links one reader per
// further frame behind itself; each reader later decodes only its own frame.
// Nothing is decoded while parsing, so a file of thousands of frames costs one
// small object per frame, up to the image limits.
//
// Damaged files. The logical screen must be whole, and so must the global
// colour table; a file without any image fails with kDamaged, and so does one
// whose first frame is empty, beyond the image limits or larger than its image
// data could fill at LZW's best ratio. After the first image nothing is
// refused: a block that runs past the end of the file, an unknown block
// introducer or a frame beyond those limits ends the chain there and the
// frames before it stay. Image data cut short (by the end of the file,
// a missing end code or a code that names no entry) decode as far as they go;
// the pixels they do not reach are transparent, so the frame shows what arrived
// over whatever lies beneath it. Decode itself never fails on file contents.
#include "formats/gif/gif_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/lzw/lzw.h"
#include "formats/meta/xmp_reader.h"

namespace vt {

namespace {

constexpr size_t kProbeMinimum = 14;
constexpr size_t kScreenSize = 13;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kComment = 0xFE;
constexpr uint8_t kApplication = 0xFF;
// A comment longer than this is cut: it is shown on one line of a property page.
constexpr size_t kMaxCommentChars = 65535;
// What an XMP application block puts after the packet.
constexpr size_t kXmpRampSize = 257;
// A code of at most 12 bits names a string of at most 4096 bytes.
constexpr BestRatio kLzwBestRatio{8192, 3};

// Where the sub-blocks of one extension or image lie.
struct SubBlocks {
  size_t firstPos = 0;   // payload of the first sub-block
  size_t firstSize = 0;
  size_t secondPos = 0;  // payload of the second sub-block
  size_t secondSize = 0;
  uint32_t count = 0;
  size_t total = 0;         // payload bytes of all sub-blocks
  size_t terminatorPos = 0;  // the zero-length block
  bool complete = false;     // false: the file ended first
};

// Walks from the cursor (at a length byte) past the zero-length block.
SubBlocks WalkSubBlocks(ByteCursor& c) {
  SubBlocks b;
  for (;;) {
    if (c.AtEnd()) return b;
    const size_t lengthPos = c.Position();
    const uint8_t n = c.U8();
    if (n == 0) {
      b.terminatorPos = lengthPos;
      b.complete = true;
      return b;
    }
    if (b.count == 0) {
      b.firstPos = c.Position();
      b.firstSize = n;
    } else if (b.count == 1) {
      b.secondPos = c.Position();
      b.secondSize = n;
    }
    ++b.count;
    b.total += n;
    if (!c.Skip(n)) {
      c.Seek(c.Size());
      return b;
    }
  }
}

struct GraphicControl {
  bool present = false;
  uint8_t flags = 0;
  uint16_t delay = 0;  // hundredths of a second
  uint8_t transparentIndex = 0;
};

// Comments are 7-bit text by the book; in practice they come as UTF-8 from
// current tools and as the Windows code page from older ones. Text that is
// valid UTF-8 and not plain ASCII is taken as UTF-8.
bool LooksLikeUtf8(std::span<const uint8_t> s) {
  bool wide = false;
  for (size_t i = 0; i < s.size();) {
    const uint8_t b = s[i];
    size_t n = 0;
    uint32_t min = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      n = 1;
      min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      n = 2;
      min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      n = 3;
      min = 0x10000;
    } else {
      return false;
    }
    if (s.size() - i <= n) return false;
    uint32_t cp = b & (0x3Fu >> n);
    for (size_t k = 1; k <= n; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (s[i + k] & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    wide = true;
    i += n + 1;
  }
  return wide;
}

uint32_t TableBits(uint8_t packed) { return (packed & 7u) + 1; }

// n bytes of the file at pos, which the block walk has found inside it.
std::span<const uint8_t> BytesAt(const ByteCursor& file, size_t pos, size_t n) {
  return file.Sub(pos, n).BytesUpTo(n);
}

// Pixel rows decoded between two progress reports (and cancel tests).
constexpr size_t kBandBytes = size_t{1} << 16;

class GifReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void ReadComment(const ByteCursor& file, const SubBlocks& blocks);
  void ReadApplication(const ByteCursor& file, const SubBlocks& blocks, bool* loop,
                       uint32_t* loopCount);
  void ApplyGraphicControl(const GraphicControl& gce);
  void FillPalette(uint32_t* palette) const;

  size_t tablePos_ = 0;
  uint32_t tableEntries_ = 0;  // 0: the file has no table for this frame
  size_t dataPos_ = 0;
  size_t dataLength_ = 0;
  bool interlaced_ = false;
  bool transparent_ = false;
  uint8_t transparentIndex_ = 0;
};

void GifReader::ReadComment(const ByteCursor& file, const SubBlocks& blocks) {
  if (blocks.total == 0 || Properties().Has(PropertyId::Comment)) return;
  if (blocks.count == 1) {
    const std::span<const uint8_t> text = BytesAt(file, blocks.firstPos, blocks.firstSize);
    Properties().SetRaw(PropertyId::Comment, text.data(), static_cast<int32_t>(text.size()),
                        LooksLikeUtf8(text) ? TextEncoding::Utf8 : TextEncoding::Bytes8);
    return;
  }
  // Several sub-blocks: joined without their length bytes. Like a single block,
  // the text ends at its first zero byte and loses its trailing blanks.
  std::string joined;
  ByteCursor c = file;
  c.Seek(blocks.firstPos - 1);
  while (joined.size() < kMaxCommentChars) {
    const uint8_t n = c.U8();
    if (n == 0 || !c.Ok()) break;
    std::span<const uint8_t> part = c.Bytes(n);
    if (part.empty()) break;
    joined.append(reinterpret_cast<const char*>(part.data()), part.size());
  }
  if (joined.size() > kMaxCommentChars) joined.resize(kMaxCommentChars);
  if (size_t zero = joined.find('\0'); zero != std::string::npos) joined.resize(zero);
  while (!joined.empty() && (joined.back() == ' ' || joined.back() == '\t' ||
                             joined.back() == '\r' || joined.back() == '\n'))
    joined.pop_back();
  if (joined.empty()) return;
  const bool utf8 = LooksLikeUtf8(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(joined.data()), joined.size()));
  Properties().Set(PropertyId::Comment, utf8 ? Utf8ToUtf16(joined) : Windows1252ToUtf16(joined));
}

void GifReader::ReadApplication(const ByteCursor& file, const SubBlocks& blocks, bool* loop,
                                uint32_t* loopCount) {
  if (blocks.count < 2 || blocks.firstSize != 11) return;
  const uint8_t* id = BytesAt(file, blocks.firstPos, 11).data();
  // The second name is the same extension under another maker's name.
  if (std::memcmp(id, "NETSCAPE", 8) == 0 || std::memcmp(id, "ANIMEXTS1.0", 11) == 0) {
    // Sub-block 1 carries the repeat count; sub-block 2 (buffering) does not.
    const std::span<const uint8_t> data = BytesAt(file, blocks.secondPos, blocks.secondSize);
    if (data.size() >= 3 && data[0] == 1) {
      const uint32_t repeats = uint32_t{data[1]} | uint32_t{data[2]} << 8;
      *loop = repeats != 1;
      // The count is of repeats after the first play, as encoders write it
      // ("-loop 3" stores 2) and browsers read it.
      *loopCount = repeats == 0 ? 0 : repeats + 1;
    }
    return;
  }
  if (std::memcmp(id, "XMP DataXMP", 11) == 0) {
    // The packet is stored raw after the identifier: its "length" bytes are
    // characters of the text, and a 257-byte ramp makes the block walk end at
    // the terminator whatever the text. So the packet is every byte up to the
    // terminator, less the ramp (0x01, then 0xFF down to 0x00). Writers that
    // vary the ramp still end the packet with its last '>'.
    const size_t start = blocks.firstPos + 11;
    const ByteCursor raw = file.Sub(start, blocks.terminatorPos - start);
    size_t end = raw.Size();
    if (end >= kXmpRampSize) {
      const std::span<const uint8_t> ramp = BytesAt(raw, end - kXmpRampSize, kXmpRampSize);
      bool isRamp = ramp[0] == 1;
      for (size_t i = 1; isRamp && i < kXmpRampSize; ++i) isRamp = ramp[i] == 256 - i;
      if (isRamp) end -= kXmpRampSize;
    }
    while (end > 0 && raw.PeekU8(end - 1) != '>') --end;
    if (end > 0) ReadXmpPacket(Properties(), BytesAt(raw, 0, end));
  }
}

void GifReader::ApplyGraphicControl(const GraphicControl& gce) {
  if (!gce.present) return;
  if (gce.flags & 1) {
    transparent_ = true;
    transparentIndex_ = gce.transparentIndex;
    alpha_ = AlphaMode::Straight;
  }
  frame_.delay = (gce.flags & 2) ? -1 : int32_t{gce.delay} * 10;
  const uint8_t disposal = (gce.flags >> 2) & 7;
  if (disposal >= 1 && disposal <= 3) frame_.disposal = static_cast<uint8_t>(disposal - 1);
  frame_.blend = transparent_ ? 1 : 0;
}

Status GifReader::ReadHeader() {
  const ByteCursor file = FileCursor();
  ByteCursor c = file;
  static constexpr uint8_t kSignature[] = {'G', 'I', 'F'};
  if (!c.StartsWith(kSignature)) return status::kUnknownFormat;
  Properties().SetRaw(PropertyId::Compression, "LZW", 3, TextEncoding::Bytes8);

  c.Seek(6);
  const uint32_t canvasWidth = c.U16LE();
  const uint32_t canvasHeight = c.U16LE();
  const uint8_t screen = c.U8();
  const uint8_t backgroundIndex = c.U8();
  c.Skip(1);  // pixel aspect ratio
  if (!c.Ok()) return status::kDamaged;
  const uint32_t colourBits = ((screen >> 4) & 7u) + 1;
  const bool hasGlobal = (screen & 0x80) != 0;
  const uint32_t globalEntries = hasGlobal ? 2u << (screen & 7) : 0;
  const size_t globalPos = kScreenSize;
  if (!c.Skip(size_t{3} * globalEntries)) return status::kDamaged;
  const uint32_t baseDepth = std::max(colourBits, hasGlobal ? TableBits(screen) : 0u);

  width_ = canvasWidth;
  height_ = canvasHeight;
  frame_.canvasWidth = canvasWidth;
  frame_.canvasHeight = canvasHeight;

  GraphicControl pending;
  GifReader* last = nullptr;  // the newest frame of the chain
  FrameBudget budget;
  bool loop = false;
  uint32_t loopCount = 0;
  size_t prevTablePos = globalPos;
  uint32_t prevTableEntries = globalEntries;

  for (;;) {
    if (c.AtEnd()) break;
    const uint8_t introducer = c.U8();
    if (introducer == kTrailer || introducer == 0x00) break;

    if (introducer == kExtension) {
      const uint8_t label = c.U8();
      const SubBlocks blocks = WalkSubBlocks(c);
      if (!c.Ok() || !blocks.complete) break;
      if (label == kGraphicControl) {
        if (blocks.count >= 1 && blocks.firstSize == 4) {
          const std::span<const uint8_t> g = BytesAt(file, blocks.firstPos, 4);
          pending.present = true;
          pending.flags = g[0];
          pending.delay = static_cast<uint16_t>(g[1] | g[2] << 8);
          pending.transparentIndex = g[3];
        }
      } else if (label == kComment) {
        ReadComment(file, blocks);
      } else if (label == kApplication) {
        ReadApplication(file, blocks, &loop, &loopCount);
      }
      continue;
    }

    if (introducer != kImage) {
      if (!last) return status::kDamaged;
      break;
    }

    const uint32_t x = c.U16LE();
    const uint32_t y = c.U16LE();
    const uint32_t w = c.U16LE();
    const uint32_t h = c.U16LE();
    const uint8_t packed = c.U8();
    if (!c.Ok()) break;
    const bool hasLocal = (packed & 0x80) != 0;
    const uint32_t localEntries = hasLocal ? 2u << (packed & 7) : 0;
    const size_t localPos = c.Position();
    if (!c.Skip(size_t{3} * localEntries)) break;

    // The image data: the minimum-code-size byte and the sub-blocks after it.
    // Data that run past the end of the file end the file, not the frame.
    const size_t dataPos = c.Position();
    bool cut = true;
    if (c.Skip(1)) {
      const SubBlocks blocks = WalkSubBlocks(c);
      cut = !blocks.complete;
    }
    const size_t dataLength = (cut ? file.Size() : c.Position()) - dataPos;

    GifReader* r = this;
    RefPtr<ImageReader> made;
    if (last) {
      const uint32_t fw = w ? w : last->width_;
      const uint32_t fh = h ? h : last->height_;
      if (uint64_t{fw} * fh == 0) {
        // Nothing to show; its graphic control goes with it.
        pending = GraphicControl{};
        if (cut) break;
        continue;
      }
      if (!budget.Admit(fw, fh, 1)) break;
      GifReader* next = new (std::nothrow) GifReader(Source(), Record());
      if (!next) return status::kOutOfMemory;
      made = RefPtr<ImageReader>::Adopt(next);
      r = next;
      r->width_ = fw;
      r->height_ = fh;
      r->outputFormat_ = outputFormat_;
      r->model_ = model_;
      r->frame_.canvasWidth = canvasWidth;
      r->frame_.canvasHeight = canvasHeight;
      r->frame_.background = frame_.background;
      r->tablePos_ = hasGlobal ? globalPos : prevTablePos;
      r->tableEntries_ = hasGlobal ? globalEntries : prevTableEntries;
    } else {
      outputFormat_ = PixelFormat::Indexed8;
      model_ = ColourModel::Rgb;
      tablePos_ = globalPos;
      tableEntries_ = globalEntries;
      if (w) width_ = w;
      if (h) height_ = h;
      if (!budget.Admit(width_, height_, 1)) return status::kDamaged;
      if (hasGlobal && backgroundIndex < globalEntries &&
          (!pending.present || !(pending.flags & 1) || backgroundIndex != 0)) {
        const std::span<const uint8_t> rgb =
            BytesAt(file, globalPos + 3 * size_t{backgroundIndex}, 3);
        frame_.background = uint32_t{rgb[2]} | uint32_t{rgb[1]} << 8 |
                            uint32_t{rgb[0]} << 16 | 0xFF000000u;
      }
      if (pending.present && (pending.flags & 1) && backgroundIndex == pending.transparentIndex) {
        frame_.background &= 0x00FFFFFFu;
        alpha_ = AlphaMode::Straight;
      }
    }

    r->frame_.x = x;
    r->frame_.y = y;
    r->ApplyGraphicControl(pending);
    pending = GraphicControl{};
    r->minRows_ = r->height_ + 1;
    r->bitDepth_ = baseDepth;
    if (hasLocal) {
      r->tablePos_ = localPos;
      r->tableEntries_ = localEntries;
      r->bitDepth_ = std::max(baseDepth, TableBits(packed));
    }
    r->interlaced_ = (packed & 0x40) != 0;
    r->dataPos_ = dataPos;
    r->dataLength_ = dataLength;
    r->pixelData_ = {uint64_t{r->width_} * r->height_, dataLength, kLzwBestRatio};
    prevTablePos = r->tablePos_;
    prevTableEntries = r->tableEntries_;

    if (last) last->next_ = std::move(made);
    last = r;
    if (cut) break;
  }

  if (!last) return status::kDamaged;
  // A looping extension may come after the first image; every frame carries it.
  for (ImageReader* f = this; f; f = f->NextReader()) {
    static_cast<GifReader*>(f)->frame_.loop = loop;
    static_cast<GifReader*>(f)->frame_.loopCount = loopCount;
  }
  return status::kOk;
}

void GifReader::FillPalette(uint32_t* palette) const {
  if (tableEntries_ == 0) {
    for (uint32_t i = 0; i < 256; ++i) palette[i] = i | i << 8 | i << 16 | 0xFF000000u;
  } else {
    // Indices above the table show opaque black. The table lies inside the file:
    // ReadHeader skipped over it.
    std::fill(palette, palette + 256, 0xFF000000u);
    ByteCursor table = FileCursor().Sub(tablePos_, size_t{3} * tableEntries_);
    for (uint32_t i = 0; i < tableEntries_; ++i) {
      const uint32_t red = table.U8(), green = table.U8(), blue = table.U8();
      palette[i] = blue | green << 8 | red << 16 | 0xFF000000u;
    }
  }
  if (transparent_) palette[transparentIndex_] &= 0x00FFFFFFu;
}

Status GifReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  PlaneView plane = target->View(PixelFormat::Indexed8);
  if (!plane || plane.width < width_ || plane.height < height_ || !plane.palette)
    return status::kInvalidArgument;
  FillPalette(plane.palette);

  const size_t w = width_;
  const size_t h = height_;
  const size_t pixels = w * h;
  const bool interlaced = interlaced_ && h >= 3;

  std::unique_ptr<uint8_t[]> temp;
  uint8_t* out = plane.origin;  // rows packed width apart, spread out afterwards
  if (interlaced) {
    temp.reset(new (std::nothrow) uint8_t[pixels]);
    if (!temp) return status::kOutOfMemory;
    out = temp.get();
  }
  // Whole rows at a time, so that progress and the cancel flag are seen while
  // a large frame decodes.
  const size_t band = std::max<size_t>(1, kBandBytes / w) * w;
  LzwDecoder decoder(FileCursor().Sub(dataPos_, dataLength_).Rest());
  size_t written = 0;
  for (;;) {
    const size_t room = std::min(band, pixels - written);
    const LzwDecodeResult piece = decoder.Decode(std::span<uint8_t>(out + written, room));
    written += piece.written;
    if (piece.stop != LzwStop::kOutputFull || written == pixels) break;
    if (IsCancelled(cancel)) return status::kCancelled;
    if (progress) progress->Report(static_cast<uint32_t>(written / w), height_);
  }

  if (written < pixels) {
    // Pixels the data do not reach show through: the transparent index, or an
    // index the table does not use made transparent for the purpose. Only a
    // full 256-colour table without transparency leaves them at index 0.
    uint8_t fill = 0;
    if (transparent_) {
      fill = transparentIndex_;
    } else if (tableEntries_ != 0 && tableEntries_ < 256) {
      fill = static_cast<uint8_t>(tableEntries_);
      plane.palette[fill] = 0;
      alpha_ = AlphaMode::Straight;
    }
    std::memset(out + written, fill, pixels - written);
  }
  if (IsCancelled(cancel)) return status::kCancelled;

  if (!interlaced) {
    // Row y moves from y * width to y * pitch; going from the last row up, no row
    // overwrites one that has not moved yet.
    for (size_t y = h; y-- > 1;) std::memmove(plane.Row(static_cast<uint32_t>(y)), out + y * w, w);
    return status::kOk;
  }
  size_t src = 0;
  static constexpr uint32_t kStart[4] = {0, 4, 2, 1};
  static constexpr uint32_t kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (size_t y = kStart[pass]; y < h; y += kStep[pass], src += w)
      std::memcpy(plane.Row(static_cast<uint32_t>(y)), out + src, w);
  }
  return status::kOk;
}

}  // namespace

Status ProbeGif(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  static constexpr uint8_t kSignature[] = {'G', 'I', 'F'};
  return source.Cursor().StartsWith(kSignature) ? status::kOk : status::kUnknownFormat;
}

RefPtr<ImageReader> CreateGifReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new (std::nothrow) GifReader(source, record));
}

}  // namespace vt
