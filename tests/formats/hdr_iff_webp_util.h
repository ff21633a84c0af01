#pragma once
// Shared by the Radiance, IFF and WebP reader tests: loading through the real
// registry, running reference tools, and reading the netpbm files they write.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt::test {

inline const FormatRegistry& HiwRegistry() {
  static const FormatRegistry* r = [] {
    auto* reg = new FormatRegistry();
    RegisterBuiltinFormats(*reg);
    return reg;
  }();
  return *r;
}

struct Loaded {
  Status status = status::kGeneralFailure;
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
};

// Open, make a memory target in the reader's own format and decode (all frames
// with allFrames).
inline Loaded LoadBytes(const std::string& bytes, const std::u16string& name,
                        bool allFrames = false, ProgressSink* progress = nullptr,
                        const CancelFlag* cancel = nullptr) {
  Loaded d;
  d.status = HiwRegistry().OpenReader(MakeMemorySource(name, bytes).get(), &d.reader);
  if (Failed(d.status)) return d;
  d.status = MakeTargetBuffer(d.reader.get(), &d.image, false, false);
  if (Failed(d.status)) return d;
  d.status = d.reader->DecodeInto(d.image.get(), allFrames, progress, cancel);
  return d;
}

inline Loaded LoadPath(const std::string& path, bool allFrames = false) {
  Loaded d;
  d.status = HiwRegistry().OpenReader(U16(path), &d.reader);
  if (Failed(d.status)) return d;
  d.status = MakeTargetBuffer(d.reader.get(), &d.image, false, false);
  if (Failed(d.status)) return d;
  d.status = d.reader->DecodeInto(d.image.get(), allFrames, nullptr, nullptr);
  return d;
}

// Runs a shell command (its messages dropped); true when it exits with 0.
inline bool Run(const std::string& command) {
  return std::system(("(" + command + ") 2>/dev/null").c_str()) == 0;
}
// Tools are run through a POSIX shell; a Windows build (under Wine) has none.
inline bool HaveTool(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return FileExists(path);
#endif
}

// A netpbm file (P5, P6 or P7) as 8-bit or 16-bit samples, channels as stored.
struct Pnm {
  uint32_t width = 0, height = 0, depth = 0, maxval = 0;
  std::vector<uint16_t> samples;
  uint16_t At(uint32_t x, uint32_t y, uint32_t c) const {
    return samples[(size_t{y} * width + x) * depth + c];
  }
};

inline bool ReadPnm(const std::string& bytes, Pnm* out) {
  size_t pos = 2;
  if (bytes.size() < 3 || bytes[0] != 'P') return false;
  const char kind = bytes[1];
  auto token = [&]() -> std::string {
    for (;;) {
      while (pos < bytes.size() && isspace(static_cast<unsigned char>(bytes[pos]))) ++pos;
      if (pos < bytes.size() && bytes[pos] == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
        continue;
      }
      break;
    }
    size_t start = pos;
    while (pos < bytes.size() && !isspace(static_cast<unsigned char>(bytes[pos]))) ++pos;
    return bytes.substr(start, pos - start);
  };
  if (kind == '5' || kind == '6') {
    out->width = std::stoul(token());
    out->height = std::stoul(token());
    out->maxval = std::stoul(token());
    out->depth = kind == '5' ? 1 : 3;
    ++pos;
  } else if (kind == '7') {
    for (std::string t = token(); t != "ENDHDR" && pos < bytes.size(); t = token()) {
      if (t == "WIDTH") out->width = std::stoul(token());
      if (t == "HEIGHT") out->height = std::stoul(token());
      if (t == "DEPTH") out->depth = std::stoul(token());
      if (t == "MAXVAL") out->maxval = std::stoul(token());
      if (t == "TUPLTYPE") token();
    }
    ++pos;
  } else {
    return false;
  }
  const size_t n = size_t{out->width} * out->height * out->depth;
  const size_t bps = out->maxval > 255 ? 2 : 1;
  if (bytes.size() < pos + n * bps) return false;
  out->samples.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data()) + pos + i * bps;
    out->samples[i] = bps == 2 ? static_cast<uint16_t>(p[0] << 8 | p[1]) : p[0];
  }
  return true;
}

// Blue, green, red, alpha of a Bgra8 pixel.
inline const uint8_t* Bgra(ImageBuffer* image, uint32_t x, uint32_t y) {
  return image->Row(y) + 4 * size_t{x};
}

}  // namespace vt::test
