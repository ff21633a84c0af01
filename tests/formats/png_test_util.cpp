#include "png_test_util.h"

#include <zlib.h>

#include <cstring>

#include "formats/png/png_reader.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt::test {

namespace {
const FormatRecord kRecord{u"png", u"Portable network graphics", ProbePng, CreatePngReader};

PngDecoded DecodeSource(FileSource* source, bool allFrames) {
  PngDecoded d;
  FormatRegistry registry;
  registry.Register(&kRecord);
  d.status = registry.OpenReader(source, &d.reader);
  if (Failed(d.status)) return d;
  d.status = MakeTargetBuffer(d.reader.get(), &d.image, false, false);
  if (Failed(d.status)) return d;
  d.status = d.reader->DecodeInto(d.image.get(), allFrames, nullptr, nullptr);
  return d;
}
}  // namespace

PngDecoded DecodePngFile(const std::string& path, bool allFrames) {
  auto source = MakeMemorySource(U16(path), ReadFileBytes(path));
  return DecodeSource(source.get(), allFrames);
}

PngDecoded DecodePngBytes(const std::string& bytes, bool allFrames) {
  auto source = MakeMemorySource(u"test.png", bytes);
  return DecodeSource(source.get(), allFrames);
}

std::vector<uint16_t> RgbaSamples(ImageBuffer* image, uint32_t* bits) {
  std::vector<uint16_t> out;
  const uint32_t w = image->Width(), h = image->Height();
  out.reserve(size_t{w} * h * 4);
  const PixelFormat f = image->Format();
  if (bits) *bits = (f == PixelFormat::Bgra16 || f == PixelFormat::Gray16) ? 16 : 8;
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* row = image->Row(y);
    for (uint32_t x = 0; x < w; ++x) {
      switch (f) {
        case PixelFormat::Gray8:
          out.insert(out.end(), {row[x], row[x], row[x], 255});
          break;
        case PixelFormat::Gray16: {
          const uint16_t v = static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8);
          out.insert(out.end(), {v, v, v, 65535});
          break;
        }
        case PixelFormat::Indexed8: {
          const uint32_t p = image->Palette()[row[x]];
          out.insert(out.end(), {uint16_t((p >> 16) & 255), uint16_t((p >> 8) & 255),
                                 uint16_t(p & 255), uint16_t(p >> 24)});
          break;
        }
        case PixelFormat::Bgra8: {
          const uint8_t* p = row + 4 * x;
          out.insert(out.end(), {p[2], p[1], p[0], p[3]});
          break;
        }
        case PixelFormat::Bgra16: {
          uint16_t p[4];
          std::memcpy(p, row + 8 * x, 8);
          out.insert(out.end(), {p[2], p[1], p[0], p[3]});
          break;
        }
        default:
          return {};
      }
    }
  }
  return out;
}

uint64_t Fnv1a(const std::vector<uint16_t>& samples) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint16_t s : samples) {
    for (int k = 0; k < 2; ++k) {
      h ^= (s >> (8 * k)) & 0xFF;
      h *= 0x100000001b3ull;
    }
  }
  return h;
}

std::string Be32(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string Be16(uint16_t v) { return {char(v >> 8), char(v)}; }

std::string Deflate(const std::string& raw) {
  uLongf size = compressBound(raw.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 6);
  out.resize(size);
  return out;
}

PngWriter::PngWriter() : bytes_("\x89PNG\r\n\x1a\n", 8) {}

PngWriter& PngWriter::Chunk(const char* type, const std::string& data) {
  std::string body = std::string(type, 4) + data;
  bytes_ += Be32(static_cast<uint32_t>(data.size())) + body;
  bytes_ += Be32(static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  return *this;
}

PngWriter& PngWriter::Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType,
                           uint8_t interlace) {
  return Chunk("IHDR", Be32(w) + Be32(h) +
                           std::string{char(depth), char(colourType), 0, 0, char(interlace)});
}

PngWriter& PngWriter::Idat(const std::string& rows) { return Chunk("IDAT", Deflate(rows)); }

}  // namespace vt::test
