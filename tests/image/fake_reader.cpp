#include "fake_reader.h"

#include <cstring>

#include "base/byte_cursor.h"

namespace vt::test {

namespace {
int g_decodes = 0;
bool g_last_reduced = false;

class FakeReader : public ImageReader {
 public:
  FakeReader(FileSource* s, const FormatRecord* r, uint32_t frameIndex)
      : ImageReader(s, r), frameIndex_(frameIndex) {}

 protected:
  Status ReadHeader() override {
    ByteCursor c = FileCursor();
    if (!c.Skip(4)) return status::kDamaged;
    outputFormat_ = static_cast<PixelFormat>(c.U8());
    model_ = static_cast<ColourModel>(c.U8());
    bitDepth_ = c.U8();
    frames_ = c.U8();
    width_ = c.U16LE();
    height_ = c.U16LE();
    reducedWidth_ = c.U16LE();
    reducedHeight_ = c.U16LE();
    frame_.delay = c.I32LE();
    alpha_ = static_cast<AlphaMode>(c.U8() % 3);
    frame_.canvasWidth = width_;
    frame_.canvasHeight = height_;
    if (!c.Ok()) return status::kDamaged;
    if (!IsStorageFormat(outputFormat_)) return status::kUnsupportedSubformat;
    pixelsAt_ = c.Position() + size_t{frameIndex_} * FrameBytes();
    if (frameIndex_ + 1u < frames_) {
      auto next = MakeRef<FakeReader>(Source(), Record(), frameIndex_ + 1);
      if (Succeeded(next->Open())) next_ = next;
    }
    return status::kOk;
  }
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink*, const CancelFlag*) override {
    ++g_decodes;
    g_last_reduced = reduced;
    ByteCursor c = FileCursor();
    if (!c.Seek(pixelsAt_)) return status::kDamaged;
    const uint32_t bpp = BytesPerPixel(outputFormat_);
    for (uint32_t y = 0; y < target->Height(); ++y) {
      if (!c.CopyTo(target->Row(y), size_t{target->Width()} * bpp)) return status::kDamaged;
    }
    if (outputFormat_ == PixelFormat::Indexed8) {
      uint32_t* pal = target->Palette();
      for (uint32_t i = 0; i < 256; ++i) pal[i] = (i | i << 8 | i << 16) | 0xFF000000u;
    }
    return status::kOk;
  }

 private:
  size_t FrameBytes() const { return size_t{width_} * height_ * BytesPerPixel(outputFormat_); }
  uint32_t frameIndex_ = 0;
  uint8_t frames_ = 1;
  size_t pixelsAt_ = 0;
};
}  // namespace

std::string EncodeFake(const FakeImage& im) {
  std::string s = "FAKE";
  auto u8 = [&](uint32_t v) { s.push_back(static_cast<char>(v)); };
  auto u16 = [&](uint32_t v) { u8(v & 0xFF), u8(v >> 8); };
  u8(static_cast<uint8_t>(im.format));
  u8(static_cast<uint8_t>(im.model));
  u8(im.bitDepth);
  u8(im.frames);
  u16(im.width), u16(im.height), u16(im.reducedWidth), u16(im.reducedHeight);
  uint32_t d = static_cast<uint32_t>(im.delay);
  u16(d & 0xFFFF), u16(d >> 16);
  u8(static_cast<uint8_t>(im.alpha));
  if (!im.pixels.empty()) {
    s += im.pixels;
  } else {
    size_t n = size_t{im.width} * im.height * BytesPerPixel(im.format) * im.frames;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(i * 7 + 3));
  }
  return s;
}

Status ProbeFake(const FileSource& source) {
  return source.Size() >= 4 && std::memcmp(source.Data(), "FAKE", 4) == 0
             ? status::kOk
             : status::kUnknownFormat;
}

RefPtr<ImageReader> CreateFakeReader(FileSource* source, const FormatRecord* record) {
  return MakeRef<FakeReader>(source, record, 0);
}

int FakeDecodeCount() { return g_decodes; }
bool FakeLastReduced() { return g_last_reduced; }

}  // namespace vt::test
