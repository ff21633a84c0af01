// WebP: "RIFF", a little-endian size, "WEBP", then chunks of a 4-character
// identifier, a little-endian size and data padded to an even length. A simple
// file holds one "VP8 " (lossy) or "VP8L" (lossless) bitstream; an extended one
// starts with "VP8X" (flags: 0x02 animation, 0x04 XMP, 0x08 EXIF, 0x10 alpha;
// canvas size) and may add "ALPH" (the alpha plane of a lossy image), "ANIM"
// (background colour, loop count) with one "ANMF" per frame (offsets,
// duration, disposal and blending, then the frame's own ALPH and bitstream),
// "EXIF" and "XMP ". The first reader walks the whole file; every further
// animation frame is a reader of its own linked behind it.
//
// Damaged files. The walk ends at the end of the file or of the RIFF size,
// whichever comes first, and at the first chunk that runs past it: a cut file
// keeps what its whole chunks hold. The first frame must have a bitstream whose
// header the library accepts, else kDamaged. A later animation frame with a bad
// header ends the animation before it, and one without a bitstream is left
// out. Decoding is the library's: a bitstream it cannot decode gives kDamaged.
#include "formats/webp/webp_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/meta/exif_reader.h"
#include "formats/meta/xmp_reader.h"
#include "formats/webp/webp_library.h"

namespace vt {

namespace {

// The RIFF header and the first chunk's header. (The smallest lossless files
// are under 32 bytes: a 100 x 100 picture of one colour takes 28.)
constexpr size_t kProbeMinimum = 20;
constexpr size_t kChunkHeader = 8;
constexpr size_t kAnmfHeader = 16;
constexpr size_t kMinVp8 = 10;
constexpr size_t kMinVp8l = 5;
constexpr size_t kMinVp8x = 10;

constexpr uint8_t kFlagAnimation = 0x02;
constexpr uint8_t kFlagXmp = 0x04;
constexpr uint8_t kFlagExif = 0x08;
constexpr uint8_t kFlagAlpha = 0x10;

bool IsId(std::span<const uint8_t> id, std::string_view want) {
  return id.size() == 4 && std::memcmp(id.data(), want.data(), 4) == 0;
}

uint32_t U24LE(ByteCursor& c) {
  const uint32_t lo = c.U16LE();
  const uint32_t hi = c.U8();
  return lo | hi << 16;
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put24(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A stream is handed to the library in this many steps (of at least the
// minimum), between which progress is reported and the cancel flag tested.
constexpr size_t kDecodeSteps = 16;
constexpr size_t kMinDecodeStep = size_t{16} << 10;

// The smallest input the library's parser takes (a RIFF header's length):
// shorter raw bitstreams go in a container of their own.
constexpr size_t kLibraryMinimumInput = 12;

// A minimal file around one bitstream, for what the library only accepts
// inside a file: a lossy bitstream's alpha plane (then with an extended
// header), or a bitstream too short to be handed over raw.
bool BuildContainer(std::span<const uint8_t> bitstream, bool lossless,
                    std::span<const uint8_t> alpha, uint32_t width, uint32_t height,
                    std::unique_ptr<uint8_t[]>* out, size_t* outSize) {
  const bool withAlpha = !alpha.empty();
  const size_t alphaPadded = alpha.size() + (alpha.size() & 1);
  const size_t streamPadded = bitstream.size() + (bitstream.size() & 1);
  const size_t size = 12 + (withAlpha ? kChunkHeader + kMinVp8x + kChunkHeader + alphaPadded : 0) +
                      kChunkHeader + streamPadded;
  if (size - 8 > 0xFFFFFFFFu) return false;
  out->reset(new (std::nothrow) uint8_t[size]);
  if (!*out) return false;
  uint8_t* p = out->get();
  std::memset(p, 0, size);
  std::memcpy(p, "RIFFsizeWEBP", 12);
  Put32(p + 4, static_cast<uint32_t>(size - 8));
  p += 12;
  if (withAlpha) {
    std::memcpy(p, "VP8X", 4);
    Put32(p + 4, kMinVp8x);
    p[8] = kFlagAlpha;
    Put24(p + 12, width - 1);
    Put24(p + 15, height - 1);
    p += kChunkHeader + kMinVp8x;
    std::memcpy(p, "ALPH", 4);
    Put32(p + 4, static_cast<uint32_t>(alpha.size()));
    std::memcpy(p + 8, alpha.data(), alpha.size());
    p += kChunkHeader + alphaPadded;
  }
  std::memcpy(p, lossless ? "VP8L" : "VP8 ", 4);
  Put32(p + 4, static_cast<uint32_t>(bitstream.size()));
  std::memcpy(p + 8, bitstream.data(), bitstream.size());
  *outSize = size;
  return true;
}

class WebpReader;

// What the walk of the whole file knows beyond one frame.
struct WalkState {
  const WebpLibrary* library = nullptr;
  bool extended = false;  // a VP8X chunk was seen
  uint8_t flags = 0;
  uint32_t canvasWidth = 0;
  uint32_t canvasHeight = 0;
  bool animated = false;
  bool animationEnded = false;  // a frame with a bad bitstream header stops it
  uint32_t lossy = 0;
  uint32_t lossless = 0;
  uint32_t frames = 0;  // readers with a bitstream so far
};

class WebpReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  enum class Found { None, Good, Bad };
  // The chunks of one frame: its bitstream and alpha; at the top level also
  // everything else.
  Found WalkFrameChunks(ByteCursor chunks, WalkState& state, bool topLevel);
  Found TakeBitstream(std::span<const uint8_t> data, bool lossless, WalkState& state);
  void ReadAnimationFrame(ByteCursor anmf, WalkState& state, WebpReader** tail);
  void Finish();
  Status DecodeInSteps(const WebpLibrary& library, std::span<const uint8_t> stream,
                       const PlaneView& plane, ProgressSink* progress,
                       const CancelFlag* cancel) const;

  const uint8_t* bitstream_ = nullptr;
  size_t bitstreamSize_ = 0;
  bool lossless_ = false;
  bool losslessAlpha_ = false;
  const uint8_t* alphaData_ = nullptr;
  size_t alphaSize_ = 0;
  bool haveAlphaChunk_ = false;
};

WebpReader::Found WebpReader::TakeBitstream(std::span<const uint8_t> data, bool lossless,
                                            WalkState& state) {
  if (data.size() < (lossless ? kMinVp8l : kMinVp8)) return Found::Bad;
  int w = 0;
  int h = 0;
  std::span<const uint8_t> input = data;
  std::unique_ptr<uint8_t[]> container;
  size_t containerSize = 0;
  if (data.size() < kLibraryMinimumInput) {
    if (!BuildContainer(data, lossless, {}, 0, 0, &container, &containerSize)) return Found::Bad;
    input = {container.get(), containerSize};
  }
  if (!state.library->getInfo(input.data(), input.size(), &w, &h) || w <= 0 || h <= 0)
    return Found::Bad;
  width_ = static_cast<uint32_t>(w);
  height_ = static_cast<uint32_t>(h);
  bitstream_ = data.data();
  bitstreamSize_ = data.size();
  lossless_ = lossless;
  // The lossless header: signature byte, then 14 bits each of width - 1 and
  // height - 1 and the bit that says whether any alpha is used.
  losslessAlpha_ = lossless && (data[4] & 0x10) != 0;
  ++(lossless ? state.lossless : state.lossy);
  return Found::Good;
}

WebpReader::Found WebpReader::WalkFrameChunks(ByteCursor chunks, WalkState& state,
                                              bool topLevel) {
  Found found = Found::None;
  WebpReader* tail = this;
  while (chunks.Remaining() >= kChunkHeader) {
    const std::span<const uint8_t> id = chunks.Bytes(4);
    const uint32_t size = chunks.U32LE();
    if (size > chunks.Remaining()) break;
    const size_t pos = chunks.Position();
    const std::span<const uint8_t> data = chunks.Bytes(size);
    if (size & 1) chunks.Skip(1);

    if (IsId(id, "VP8 ") || IsId(id, "VP8L")) {
      if (found != Found::None) continue;  // the first only
      found = TakeBitstream(data, IsId(id, "VP8L"), state);
      if (found == Found::Bad) return found;
    } else if (IsId(id, "ALPH")) {
      if (state.extended && (state.flags & kFlagAlpha) && !haveAlphaChunk_) {
        haveAlphaChunk_ = true;
        alphaData_ = data.data();
        alphaSize_ = data.size();
      }
    } else if (!topLevel) {
      continue;
    } else if (IsId(id, "VP8X")) {
      if (state.extended || size < kMinVp8x) continue;
      ByteCursor x(data);
      state.extended = true;
      state.flags = x.U8();
      x.Skip(3);
      state.canvasWidth = U24LE(x) + 1;
      state.canvasHeight = U24LE(x) + 1;
    } else if (!state.extended) {
      continue;
    } else if (IsId(id, "ANIM")) {
      if (!(state.flags & kFlagAnimation) || size <= 5 || state.animated) continue;
      ByteCursor a(data);
      const uint32_t background = a.U32LE();
      const uint16_t loops = a.U16LE();
      // Blue, green, red, alpha in the file as in the frame description; one
      // without alpha leaves the default.
      if (background >> 24) frame_.background = background;
      frame_.loop = loops != 1;
      frame_.loopCount = loops;
      frame_.canvasWidth = state.canvasWidth;
      frame_.canvasHeight = state.canvasHeight;
      state.animated = true;
    } else if (IsId(id, "ANMF")) {
      if (state.animated && !state.animationEnded && size >= kAnmfHeader) {
        ReadAnimationFrame(chunks.Sub(pos, size), state, &tail);
        if (tail == this && bitstream_) found = Found::Good;
      }
    } else if (IsId(id, "EXIF")) {
      if (state.flags & kFlagExif) ReadExifBlock(Properties(), data);
    } else if (IsId(id, "XMP ")) {
      if (state.flags & kFlagXmp) ReadXmpPacket(Properties(), data);
    }
  }
  return found;
}

void WebpReader::ReadAnimationFrame(ByteCursor anmf, WalkState& state, WebpReader** tail) {
  // The first frame with a bitstream is this reader; the others follow it.
  WebpReader* frame = this;
  RefPtr<WebpReader> made;
  if (state.frames >= kImageLimits.maxFrames) {
    state.animationEnded = true;
    return;
  }
  if (bitstream_) {
    made = RefPtr<WebpReader>::Adopt(new (std::nothrow) WebpReader(Source(), Record()));
    if (!made) {
      state.animationEnded = true;
      return;
    }
    frame = made.get();
    frame->frame_.canvasWidth = frame_.canvasWidth;
    frame->frame_.canvasHeight = frame_.canvasHeight;
    frame->frame_.background = frame_.background;
    frame->frame_.loop = frame_.loop;
    frame->frame_.loopCount = frame_.loopCount;
  }
  frame->frame_.x = U24LE(anmf) * 2;
  frame->frame_.y = U24LE(anmf) * 2;
  anmf.Skip(6);  // frame width and height: the bitstream's own count
  frame->frame_.delay = static_cast<int32_t>(U24LE(anmf));
  const uint8_t bits = anmf.U8();
  frame->frame_.disposal = (bits & 1) ? 1 : 0;
  frame->frame_.blend = (bits & 2) ? 0 : 1;
  const Found found = frame->WalkFrameChunks(anmf.Sub(kAnmfHeader, anmf.Size() - kAnmfHeader),
                                             state, false);
  if (found == Found::Bad) {
    state.animationEnded = true;
    if (frame == this) frame->bitstream_ = nullptr;
    return;
  }
  if (found == Found::None) return;
  ++state.frames;
  if (!made) return;
  (*tail)->next_ = made;
  *tail = made.get();
}

void WebpReader::Finish() {
  outputFormat_ = PixelFormat::Bgra8;
  model_ = ColourModel::Rgb;
  const bool alpha = lossless_ ? losslessAlpha_ : haveAlphaChunk_;
  bitDepth_ = alpha ? 32 : 24;
  alpha_ = alpha ? AlphaMode::Straight : AlphaMode::None;
  minStride_ = width_ * 4;
  minRows_ = height_;
}

Status WebpReader::ReadHeader() {
  ByteCursor file = FileCursor();
  const uint32_t riff = file.U32BE();
  const uint32_t riffSize = file.U32LE();
  const uint32_t webp = file.U32BE();
  if (!file.Ok() || riff != 0x52494646u || webp != 0x57454250u) return status::kUnknownFormat;
  WalkState state;
  state.library = GetWebpLibrary();
  if (!state.library) return status::kMissingDll;

  const size_t end = static_cast<size_t>(std::min<uint64_t>(file.Size(), uint64_t{riffSize} + 8));
  const Found found = WalkFrameChunks(file.Sub(12, end - 12), state, true);
  if (found != Found::Good || !bitstream_) return status::kDamaged;

  const char* compression = state.lossless == 0 ? "Lossy VP8"
                            : state.lossy == 0  ? "Lossless VP8"
                                                : "Mixed VP8";
  Properties().SetRaw(PropertyId::Compression, compression, -1, TextEncoding::Bytes8);
  Finish();
  for (ImageReader* r = next_.get(); r; r = r->NextReader()) {
    auto* frame = static_cast<WebpReader*>(r);
    frame->Finish();
    frame->Properties().CopyFrom(Properties());
    frame->Properties().Set(PropertyId::Dimensions,
                            AsciiToUtf16(std::to_string(frame->bitDepth_)));
    frame->Properties().Set(PropertyId::ColourFormat, ColourModelText(frame->model_));
  }
  return status::kOk;
}

Status WebpReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                          const CancelFlag* cancel) {
  const PlaneView plane = target->View(PixelFormat::Bgra8);
  if (!plane || plane.width != width_ || plane.height != height_) return status::kInvalidArgument;
  const WebpLibrary* library = GetWebpLibrary();
  if (!library) return status::kMissingDll;
  if (IsCancelled(cancel)) return status::kCancelled;

  const uint8_t* data = bitstream_;
  size_t size = bitstreamSize_;
  std::unique_ptr<uint8_t[]> container;
  const bool withAlpha = !lossless_ && haveAlphaChunk_;
  // The incremental decoder takes a bitstream only inside a file.
  const bool stepped = library->newBgraDecoder != nullptr;
  if (withAlpha || stepped || size < kLibraryMinimumInput) {
    std::span<const uint8_t> alpha;
    if (withAlpha) alpha = {alphaData_, alphaSize_};
    if (!BuildContainer({bitstream_, bitstreamSize_}, lossless_, alpha, width_, height_,
                        &container, &size))
      return status::kOutOfMemory;
    data = container.get();
  }
  if (stepped) return DecodeInSteps(*library, {data, size}, plane, progress, cancel);
  if (!library->decodeBgraInto(data, size, plane.origin, plane.pitch * plane.height,
                               static_cast<int>(plane.pitch)))
    return status::kDamaged;
  return status::kOk;
}

// The stream handed to the library a step at a time, with progress and the
// cancel flag seen between the steps.
Status WebpReader::DecodeInSteps(const WebpLibrary& library, std::span<const uint8_t> stream,
                                 const PlaneView& plane, ProgressSink* progress,
                                 const CancelFlag* cancel) const {
  std::unique_ptr<void, void (*)(void*)> decoder(
      library.newBgraDecoder(plane.origin, plane.pitch * plane.height,
                             static_cast<int>(plane.pitch)),
      library.deleteDecoder);
  if (!decoder) return status::kOutOfMemory;
  const size_t step = std::max(stream.size() / kDecodeSteps, kMinDecodeStep);
  for (size_t fed = 0; fed < stream.size();) {
    fed = std::min(stream.size(), fed + step);
    const int result = library.update(decoder.get(), stream.data(), fed);
    if (result == 0) return status::kOk;
    // Anything but a wish for more data, or that wish once all data are in,
    // is a stream the library cannot decode.
    if (result != kWebpSuspended || fed == stream.size()) break;
    if (IsCancelled(cancel)) return status::kCancelled;
    int lastY = 0;
    if (progress && library.decodedRows(decoder.get(), &lastY, nullptr, nullptr, nullptr))
      progress->Report(static_cast<uint32_t>(lastY), height_);
  }
  return status::kDamaged;
}

}  // namespace

Status ProbeWebp(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  ByteCursor c = source.Cursor();
  if (!c.StartsWith(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("RIFF"), 4)))
    return status::kUnknownFormat;
  c.Seek(8);
  const std::span<const uint8_t> form = c.Bytes(4);
  if (!IsId(form, "WEBP")) return status::kUnknownFormat;
  const std::span<const uint8_t> first = c.Bytes(4);
  if (IsId(first, "VP8 ") || IsId(first, "VP8L") || IsId(first, "VP8X")) return status::kOk;
  return status::kDamaged;
}

RefPtr<ImageReader> CreateWebpReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new WebpReader(source, record));
}

}  // namespace vt
