#include "reader_test_util.h"

#include <zlib.h>

#include <cstring>
#include <sstream>

#include "formats/builtin_formats.h"

namespace vt::test {

const FormatRegistry& Readers() {
  static const FormatRegistry* registry = [] {
    auto* r = new FormatRegistry();
    RegisterBuiltinFormats(*r);
    return r;
  }();
  return *registry;
}

uint32_t Loaded::Px(uint32_t x, uint32_t y) {
  if (!bgra_) bgra_ = Convert(image.get(), PixelFormat::Bgra8, false, false);
  uint32_t p = 0;
  if (bgra_) std::memcpy(&p, bgra_->Row(y) + 4 * size_t{x}, 4);
  return p;
}

std::string Loaded::RawRow(uint32_t y, size_t bytes) const {
  return std::string(reinterpret_cast<const char*>(image->Row(y)), bytes);
}

Loaded Load(const std::string& bytes, const std::u16string& name, const LoadOptions& o) {
  Loaded l;
  l.status = Readers().OpenReader(MakeMemorySource(name, bytes).get(), &l.reader);
  if (Failed(l.status)) return l;
  const bool display = o.display && IsDisplayFormat(l.reader->OutputFormat());
  l.status = MakeTargetBuffer(l.reader.get(), &l.image, display, o.reduced);
  if (Failed(l.status)) return l;
  l.status = l.reader->DecodeInto(l.image.get(), o.allFrames, o.progress, o.cancel);
  return l;
}

Loaded LoadFile(const std::string& path, const LoadOptions& o) {
  return Load(ReadFileBytes(path), U16(path.substr(path.find_last_of("/\\") + 1)), o);
}

Status OpenWith(RefPtr<ImageReader> (*create)(FileSource*, const FormatRecord*),
                const std::string& bytes) {
  const FormatRecord* record = nullptr;
  for (size_t i = 0; i < Readers().Count(); ++i)
    if (Readers().At(i)->create == create) record = Readers().At(i);
  RefPtr<FileSource> source = MakeMemorySource(u"direct", bytes);
  return create(source.get(), record)->Open();
}

std::string Le(uint64_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

std::string Be(uint64_t v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Deflate(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 6);
  out.resize(size);
  return out;
}

std::string PngChunk(const char* type, const std::string& data) {
  const std::string body = std::string(type, 4) + data;
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return Be(data.size(), 4) + body + Be(crc, 4);
}

std::string SolidPng(uint32_t width, uint32_t height, uint32_t argb) {
  std::string rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows.push_back('\0');
    for (uint32_t x = 0; x < width; ++x) rows += Be(argb << 8 | argb >> 24, 4);
  }
  return std::string("\x89PNG\r\n\x1a\n", 8) +
         PngChunk("IHDR", Be(width, 4) + Be(height, 4) + B({8, 6, 0, 0, 0})) +
         PngChunk("IDAT", Deflate(rows)) + PngChunk("IEND", "");
}

namespace {

Canvas AsCanvas(ImageBuffer* frame, bool sixteen) {
  Canvas c{frame->Width(), frame->Height(), sixteen ? 16u : 8u, {}};
  RefPtr<ImageBuffer> b =
      Convert(frame, sixteen ? PixelFormat::Bgra16 : PixelFormat::Bgra8, false, false);
  if (!b) {
    ADD_FAILURE() << "no conversion of a " << c.width << " x " << c.height << " frame";
    return c;
  }
  const uint16_t opaque = sixteen ? 65535 : 255;
  c.rgba.reserve(size_t{c.width} * c.height * 4);
  for (uint32_t y = 0; y < c.height; ++y) {
    for (uint32_t x = 0; x < c.width; ++x) {
      uint16_t s[4];
      if (sixteen) {
        std::memcpy(s, b->Row(y) + 8 * size_t{x}, 8);
      } else {
        for (int k = 0; k < 4; ++k) s[k] = b->Row(y)[4 * size_t{x} + k];
      }
      c.rgba.insert(c.rgba.end(),
                    {s[2], s[1], s[0], frame->Alpha() == AlphaMode::None ? opaque : s[3]});
    }
  }
  return c;
}

}  // namespace

std::vector<Canvas> Canvases(ImageBuffer* first) {
  const FrameDescription& d = first->Frame();
  const uint32_t cw = d.canvasWidth ? d.canvasWidth : first->Width();
  const uint32_t ch = d.canvasHeight ? d.canvasHeight : first->Height();
  if (!first->Next() && d.x == 0 && d.y == 0 && cw == first->Width() && ch == first->Height()) {
    const PixelFormat f = first->Format();
    return {AsCanvas(first, f == PixelFormat::Bgra16 || f == PixelFormat::Gray16)};
  }
  std::vector<Canvas> shown;
  Canvas canvas{cw, ch, 8, std::vector<uint16_t>(size_t{cw} * ch * 4, 0)};
  for (ImageBuffer* f = first; f; f = f->Next()) {
    const FrameDescription& fd = f->Frame();
    const Canvas px = AsCanvas(f, false);
    const std::vector<uint16_t> saved = canvas.rgba;
    auto each = [&](auto&& draw) {
      for (uint32_t y = 0; y < f->Height() && uint64_t{fd.y} + y < ch; ++y)
        for (uint32_t x = 0; x < f->Width() && uint64_t{fd.x} + x < cw; ++x)
          draw(&canvas.rgba[((size_t{fd.y} + y) * cw + fd.x + x) * 4],
               &px.rgba[(size_t{y} * f->Width() + x) * 4]);
    };
    each([&](uint16_t* dst, const uint16_t* src) {
      const uint32_t sa = src[3];
      if (!fd.blend || sa == 255) {
        std::copy(src, src + 4, dst);
      } else if (sa != 0) {
        const uint32_t da = dst[3] * (255 - sa) / 255, a = sa + da;
        for (int k = 0; k < 3; ++k)
          dst[k] = static_cast<uint16_t>((src[k] * sa + dst[k] * da + a / 2) / a);
        dst[3] = static_cast<uint16_t>(a);
      }
    });
    shown.push_back(canvas);
    if (fd.disposal == 2) canvas.rgba = saved;
    if (fd.disposal == 1) each([](uint16_t* dst, const uint16_t*) { std::fill_n(dst, 4, 0); });
  }
  return shown;
}

uint64_t CanvasHash(const std::vector<Canvas>& canvases, const std::string& pick) {
  std::vector<size_t> picked;
  std::istringstream in(pick);
  for (size_t i; in >> i;) picked.push_back(i);
  if (pick.empty())
    for (size_t i = 0; i < canvases.size(); ++i) picked.push_back(i);
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h = (h ^ (v >> (8 * i) & 0xFF)) * 0x100000001b3ull;
  };
  for (size_t i : picked) {
    if (i >= canvases.size()) return 0;
    const Canvas& c = canvases[i];
    mix(c.width, 4);
    mix(c.height, 4);
    for (size_t p = 0; p < c.rgba.size(); p += 4)
      for (int k = 0; k < 4; ++k) mix(c.rgba[p + 3] ? c.rgba[p + k] : 0, c.bits / 8);
  }
  return h;
}

void CheckEveryPrefix(const std::string& bytes, const std::u16string& name, bool strict) {
  Loaded whole = Load(bytes, name);
  ASSERT_TRUE(whole.Ok()) << std::hex << whole.status;
  const Canvas all = AsCanvas(whole.image.get(), false);
  size_t shown = 0;
  for (size_t n = 0; n < bytes.size(); ++n) {
    SCOPED_TRACE("prefix " + std::to_string(n));
    Loaded part = Load(bytes.substr(0, n), name);
    if (!part.Ok()) continue;
    const Canvas got = AsCanvas(part.image.get(), false);
    if (got.width != all.width || got.height != all.height) {
      // A size still being read may give a smaller picture, with nothing in it.
      for (size_t i = 0; i < got.rgba.size(); ++i) ASSERT_TRUE(i % 4 == 3 || got.rgba[i] == 0);
      continue;
    }
    if (!strict) continue;
    size_t same = 0;
    for (size_t i = 0; i < got.rgba.size(); i += 4) {
      if (got.rgba[i + 3] == 0) continue;
      for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(got.rgba[i + k] == all.rgba[i + k] || got.rgba[i + k] == 0)
            << "pixel " << i / 4;
      same += std::equal(&got.rgba[i], &got.rgba[i + 4], &all.rgba[i]);
    }
    ASSERT_GE(same, shown);
    shown = same;
  }
}

}  // namespace vt::test
