#pragma once
// Shared by the icon, DDS and FITS reader tests: loading bytes through the
// registry, reading decoded pixels, and reference decodes by Pillow and
// ImageMagick run as separate programs. In a namespace of their own, apart
// from the helpers of other reader tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt::test::idf {

inline void PutLE(std::string& s, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}
inline void SetLE(std::string& s, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

struct Loaded {
  Status open = status::kGeneralFailure;    // of opening the reader
  Status decode = status::kGeneralFailure;  // of decoding, when opened
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;  // as decoded, in the reader's format
  RefPtr<ImageBuffer> bgra;   // converted to Bgra8

  bool Ok() const { return Succeeded(open) && Succeeded(decode); }
  uint32_t Pixel(uint32_t x, uint32_t y) const {
    return reinterpret_cast<const uint32_t*>(bgra->Row(y))[x];
  }
};

inline const FormatRegistry& BuiltinRegistry() {
  static const FormatRegistry* registry = [] {
    auto* r = new FormatRegistry;
    RegisterBuiltinFormats(*r);
    return r;
  }();
  return *registry;
}

// Opens bytes under a name through the registry and decodes the first frame.
inline Loaded LoadBytes(const std::string& name, const std::string& bytes,
                        ProgressSink* progress = nullptr, const CancelFlag* cancel = nullptr) {
  Loaded out;
  RefPtr<FileSource> source = MakeMemorySource(U16(name), bytes);
  out.open = BuiltinRegistry().OpenReader(source.get(), &out.reader);
  if (Failed(out.open)) return out;
  out.decode = MakeTargetBuffer(out.reader.get(), &out.image, false, false);
  if (Failed(out.decode)) return out;
  out.decode = out.reader->DecodeInto(out.image.get(), false, progress, cancel);
  if (Succeeded(out.decode)) {
    out.bgra = Convert(out.image.get(), PixelFormat::Bgra8, false, false);
    if (!out.bgra) out.decode = status::kOutOfMemory;
  }
  return out;
}

inline Loaded LoadFile(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return LoadBytes(slash == std::string::npos ? path : path.substr(slash + 1),
                   ReadFileBytes(path));
}

inline bool HaveProgram(const std::string& probe) {
#ifdef _WIN32
  return false;
#else
  return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
#endif
}
inline bool HavePillow() { return HaveProgram("/usr/bin/python3 -c 'import PIL'"); }
// The real program, not a stand-in that may come first on the path.
inline const std::string kConvert = "/usr/bin/convert";
inline bool HaveMagick() { return HaveProgram(kConvert + " -list format | grep -q DDS"); }
inline int Run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

// A reference decode: mode, size and the samples (see pillow_dump.py).
struct Reference {
  std::string mode;
  uint32_t width = 0;
  uint32_t height = 0;
  std::string data;
  bool Ok() const { return width != 0; }
};

inline Reference ReadDump(const std::string& path) {
  Reference r;
  const std::string bytes = ReadFileBytes(path);
  const size_t eol = bytes.find('\n');
  if (eol == std::string::npos) return r;
  char mode[16] = {};
  unsigned w = 0, h = 0;
  if (std::sscanf(bytes.substr(0, eol).c_str(), "%15s %u %u", mode, &w, &h) != 3) return r;
  r.mode = mode;
  r.width = w;
  r.height = h;
  r.data = bytes.substr(eol + 1);
  return r;
}

// Pillow's decode of each file, in order (an empty reference where it fails).
inline std::vector<Reference> PillowDecode(const std::vector<std::string>& files, bool raw) {
  TempDir out;
  std::string cmd = "/usr/bin/python3 " + std::string(VT_SOURCE_DIR) +
                    "/tests/formats/pillow_dump.py " + out.Path() + (raw ? " raw" : " rgba");
  for (const std::string& f : files) cmd += " '" + f + "'";
  Run(cmd);
  std::vector<Reference> refs;
  for (const std::string& f : files) {
    const std::string name = f.substr(f.find_last_of('/') + 1);
    const std::string dump = out.Path() + "/" + name + ".dump";
    refs.push_back(FileExists(dump) ? ReadDump(dump) : Reference{});
  }
  return refs;
}

// ImageMagick's decode of the first image as RGBA bytes; empty on failure.
inline Reference MagickDecode(const std::string& file, uint32_t width, uint32_t height) {
  TempDir out;
  const std::string raw = out.Path() + "/out.rgba";
  Reference r;
  if (Run(kConvert + " '" + file + "[0]' -depth 8 rgba:'" + raw + "'") != 0) return r;
  r.data = ReadFileBytes(raw);
  if (r.data.size() != size_t{width} * height * 4) return Reference{};
  r.mode = "RGBA";
  r.width = width;
  r.height = height;
  return r;
}

// Largest difference of the colour channels over pixels that are not
// transparent in both, and of alpha over all, between a decode and RGBA bytes.
struct Difference {
  int colour = 0;
  int alpha = 0;
};
inline Difference Compare(const Loaded& got, const Reference& ref) {
  Difference d;
  for (uint32_t y = 0; y < ref.height; ++y) {
    for (uint32_t x = 0; x < ref.width; ++x) {
      const uint32_t p = got.Pixel(x, y);
      const uint8_t* q = reinterpret_cast<const uint8_t*>(ref.data.data()) + (size_t{y} * ref.width + x) * 4;
      const int a = static_cast<int>(p >> 24);
      d.alpha = std::max(d.alpha, std::abs(a - q[3]));
      if (a == 0 && q[3] == 0) continue;
      d.colour = std::max({d.colour, std::abs(static_cast<int>(p >> 16 & 0xFF) - q[0]),
                           std::abs(static_cast<int>(p >> 8 & 0xFF) - q[1]),
                           std::abs(static_cast<int>(p & 0xFF) - q[2])});
    }
  }
  return d;
}

// FNV-1a over the size and the Bgra8 pixels.
inline uint64_t PixelHash(const Loaded& got) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](uint8_t b) { h = (h ^ b) * 0x100000001b3ull; };
  for (int i = 0; i < 4; ++i) mix(static_cast<uint8_t>(got.bgra->Width() >> (8 * i)));
  for (int i = 0; i < 4; ++i) mix(static_cast<uint8_t>(got.bgra->Height() >> (8 * i)));
  for (uint32_t y = 0; y < got.bgra->Height(); ++y) {
    const uint8_t* row = got.bgra->Row(y);
    for (size_t i = 0; i < size_t{got.bgra->Width()} * 4; ++i) mix(row[i]);
  }
  return h;
}

// Every prefix of a valid file gives an error or an image of the full size,
// never a crash (the sanitizer builds check the reads).
inline void CheckEveryPrefix(const std::string& name, const std::string& bytes) {
  const Loaded whole = LoadBytes(name, bytes);
  ASSERT_TRUE(whole.Ok()) << name;
  for (size_t n = 1; n < bytes.size(); ++n) {
    const Loaded part = LoadBytes(name, bytes.substr(0, n));
    if (!part.Ok()) continue;
    EXPECT_EQ(part.bgra->Width(), whole.bgra->Width()) << "prefix " << n;
    EXPECT_EQ(part.bgra->Height(), whole.bgra->Height()) << "prefix " << n;
  }
}

class CancelAtFirstReport : public ProgressSink {
 public:
  explicit CancelAtFirstReport(CancelFlag* flag) : flag_(flag) {}
  void Report(uint32_t, uint32_t) override { flag_->Set(); }

 private:
  CancelFlag* flag_;
};

}  // namespace vt::test::idf
