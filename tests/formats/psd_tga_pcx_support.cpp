#include "psd_tga_pcx_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/builtin_formats.h"
#include "support/test_support.h"

namespace vt::test {

namespace {

const FormatRegistry& Registry() {
  static const FormatRegistry* r = [] {
    auto* reg = new FormatRegistry();
    RegisterBuiltinFormats(*reg);
    return reg;
  }();
  return *r;
}

#ifndef _WIN32
// The standard output of a command, in binary.
bool Capture(const std::string& command, std::string* out) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return false;
  out->clear();
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out->append(buffer, n);
  return pclose(p) == 0;
}
#endif

[[maybe_unused]] std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

}  // namespace

Loaded LoadBytes(const std::string& bytes, const std::u16string& name, bool display,
                 const CancelFlag* cancel) {
  Loaded l;
  RefPtr<FileSource> source = MakeMemorySource(name, bytes);
  l.status = Registry().OpenReader(source.get(), &l.reader);
  if (Failed(l.status)) return l;
  const bool useDisplay = display && IsDisplayFormat(l.reader->OutputFormat());
  l.status = MakeTargetBuffer(l.reader.get(), &l.image, useDisplay, false);
  if (Failed(l.status)) return l;
  l.status = l.reader->DecodeInto(l.image.get(), false, nullptr, cancel);
  return l;
}

Loaded LoadPath(const std::string& path) {
  Loaded l;
  l.status = Registry().OpenReader(U16(path), &l.reader);
  if (Failed(l.status)) return l;
  l.status = MakeTargetBuffer(l.reader.get(), &l.image, false, false);
  if (Failed(l.status)) return l;
  l.status = l.reader->DecodeInto(l.image.get(), false, nullptr, nullptr);
  return l;
}

Rgba ToRgba(ImageBuffer* image) {
  Rgba r;
  RefPtr<ImageBuffer> bgra = Convert(image, PixelFormat::Bgra8, false, false);
  if (!bgra) return r;
  r.width = bgra->Width();
  r.height = bgra->Height();
  r.data.resize(size_t{r.width} * r.height * 4);
  for (uint32_t y = 0; y < r.height; ++y) {
    const uint8_t* row = bgra->Row(y);
    for (uint32_t x = 0; x < r.width; ++x) {
      uint8_t* p = r.data.data() + (size_t{y} * r.width + x) * 4;
      p[0] = row[4 * x + 2];
      p[1] = row[4 * x + 1];
      p[2] = row[4 * x];
      p[3] = row[4 * x + 3];
    }
  }
  return r;
}

std::vector<uint16_t> ToRgba16(ImageBuffer* image) {
  std::vector<uint16_t> out;
  const bool gray = image->Format() == PixelFormat::Gray16;
  if (!gray && image->Format() != PixelFormat::Bgra16) return out;
  for (uint32_t y = 0; y < image->Height(); ++y) {
    const uint8_t* row = image->Row(y);
    for (uint32_t x = 0; x < image->Width(); ++x) {
      uint16_t s[4];
      if (gray) {
        std::memcpy(&s[0], row + 2 * x, 2);
        out.insert(out.end(), {s[0], s[0], s[0], 65535});
      } else {
        std::memcpy(s, row + 8 * x, 8);
        out.insert(out.end(), {s[2], s[1], s[0], s[3]});
      }
    }
  }
  return out;
}

#ifndef _WIN32
bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

bool HavePillow() {
  static const bool have = std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
  return have;
}

bool HaveMagick() {
  // Only the real program: a stand-in that reads PNG alone is no reference.
  static const bool have =
      std::system("convert -list format 2>/dev/null | grep -q PSD") == 0;
  return have;
}

bool PillowRgba(const std::string& path, Rgba* out, std::string* mode) {
  if (!HavePillow()) return false;
  static const char kScript[] =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1]); im.load()\n"
      "sys.stdout.buffer.write(('%d %d %s\\n' % (im.size[0], im.size[1], im.mode)).encode())\n"
      "sys.stdout.buffer.write(im.convert('RGBA').tobytes())\n";
  std::string text;
  if (!Capture("/usr/bin/python3 -c " + Quote(kScript) + " " + Quote(path) + " 2>/dev/null",
               &text))
    return false;
  const size_t eol = text.find('\n');
  if (eol == std::string::npos) return false;
  char modeText[16] = {};
  if (std::sscanf(text.c_str(), "%u %u %15s", &out->width, &out->height, modeText) != 3)
    return false;
  if (mode) *mode = modeText;
  out->data.assign(text.begin() + static_cast<std::ptrdiff_t>(eol) + 1, text.end());
  return out->data.size() == size_t{out->width} * out->height * 4;
}

bool MagickRgba(const std::string& path, int depth, Rgba* out) {
  if (!HaveMagick()) return false;
  std::string size;
  if (!Capture("identify -format '%w %h' " + Quote(path + "[0]") + " 2>/dev/null", &size))
    return false;
  if (std::sscanf(size.c_str(), "%u %u", &out->width, &out->height) != 2) return false;
  std::string options = "-depth " + std::to_string(depth);
  if (depth == 16) options += " -endian MSB";
  if (depth == 32) options += " -define quantum:format=floating-point -endian LSB";
  std::string pixels;
  if (!Capture("convert " + Quote(path + "[0]") + " " + options + " rgba:- 2>/dev/null", &pixels))
    return false;
  out->data.assign(pixels.begin(), pixels.end());
  return out->data.size() == size_t{out->width} * out->height * 4 * (depth / 8);
}
#else
bool HaveProgram(const std::string&) { return false; }
bool Shell(const std::string&) { return false; }
bool HavePillow() { return false; }
bool HaveMagick() { return false; }
bool PillowRgba(const std::string&, Rgba*, std::string*) { return false; }
bool MagickRgba(const std::string&, int, Rgba*) { return false; }
#endif

uint64_t HashRgba(const Rgba& image) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](uint8_t b) { h = (h ^ b) * 0x100000001b3ull; };
  for (uint32_t v : {image.width, image.height})
    for (int i = 0; i < 4; ++i) mix(static_cast<uint8_t>(v >> (8 * i)));
  for (uint8_t b : image.data) mix(b);
  return h;
}

void Put16LE(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>(v >> 8 & 0xFF));
}
void Put16BE(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v >> 8 & 0xFF));
  s->push_back(static_cast<char>(v & 0xFF));
}
void Put32LE(std::string* s, uint32_t v) {
  Put16LE(s, v & 0xFFFF);
  Put16LE(s, v >> 16);
}
void Put32BE(std::string* s, uint32_t v) {
  Put16BE(s, v >> 16);
  Put16BE(s, v & 0xFFFF);
}

}  // namespace vt::test
