#include "jpeg_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "formats/builtin_formats.h"

namespace vt::jpegtest {

std::string Segment(uint8_t marker, const std::string& payload) {
  std::string s = {'\xFF', static_cast<char>(marker)};
  const size_t n = payload.size() + 2;
  s.push_back(static_cast<char>(n >> 8));
  s.push_back(static_cast<char>(n & 0xFF));
  return s + payload;
}

std::string Build(const Stream& st) {
  std::string s = "\xFF\xD8";
  s += st.extra;
  s += Segment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
  std::string sof = {static_cast<char>(st.precision), static_cast<char>(st.height >> 8),
                     static_cast<char>(st.height & 0xFF), static_cast<char>(st.width >> 8),
                     static_cast<char>(st.width & 0xFF),
                     static_cast<char>(st.components.size())};
  for (const Component& c : st.components) {
    sof.push_back(static_cast<char>(c.id));
    sof.push_back(static_cast<char>(c.sampling));
    sof.push_back('\0');
  }
  s += Segment(st.frameMarker, sof);
  // One code of length 1 per table: DC category 0, AC end of block.
  std::string dht = {'\x00', '\x01'};
  dht += std::string(15, '\0');
  dht.push_back('\0');
  dht += {'\x10', '\x01'};
  dht += std::string(15, '\0');
  dht.push_back('\0');
  s += Segment(0xC4, dht);
  if (!st.withScan) return s + "\xFF\xD9";
  std::string sos = {static_cast<char>(st.components.size())};
  uint32_t bits = 0;
  uint32_t hmax = 1, vmax = 1;
  for (const Component& c : st.components) {
    hmax = std::max<uint32_t>(hmax, c.sampling >> 4);
    vmax = std::max<uint32_t>(vmax, c.sampling & 15);
  }
  const uint32_t mcus = (st.width + 8 * hmax - 1) / (8 * hmax) * ((st.height + 8 * vmax - 1) / (8 * vmax));
  for (const Component& c : st.components) {
    sos.push_back(static_cast<char>(c.id));
    sos.push_back('\0');
    bits += 2 * (st.components.size() == 1 ? 1 : (c.sampling >> 4) * (c.sampling & 15));
  }
  sos += {'\0', '\x3F', '\0'};
  s += Segment(0xDA, sos);
  s += std::string((bits * mcus + 7) / 8, '\0');
  return s + "\xFF\xD9";
}

const FormatRegistry& Registry() {
  static const FormatRegistry* r = [] {
    auto* reg = new FormatRegistry();
    RegisterBuiltinFormats(*reg);
    return reg;
  }();
  return *r;
}

Decoded Decode(const std::string& bytes, bool reduced, ProgressSink* progress,
               const CancelFlag* cancel) {
  Decoded d;
  d.status = Registry().OpenReader(MakeMemorySource(u"test.jpg", bytes).get(), &d.reader);
  if (Failed(d.status)) return d;
  d.status = MakeTargetBuffer(d.reader.get(), &d.image, false, reduced);
  if (Failed(d.status)) return d;
  d.status = d.reader->DecodeInto(d.image.get(), false, progress, cancel);
  return d;
}

Picture FromImage(ImageBuffer* image) {
  Picture p;
  p.width = image->Width();
  p.height = image->Height();
  p.channels = image->Format() == PixelFormat::Gray8 ? 1 : 3;
  p.samples.reserve(size_t{p.width} * p.height * p.channels);
  for (uint32_t y = 0; y < p.height; ++y) {
    const uint8_t* row = image->Row(y);
    for (uint32_t x = 0; x < p.width; ++x) {
      if (p.channels == 1) {
        p.samples.push_back(row[x]);
      } else {
        p.samples.push_back(row[4 * x + 2]);
        p.samples.push_back(row[4 * x + 1]);
        p.samples.push_back(row[4 * x]);
      }
    }
  }
  return p;
}

Picture ReadPnm(const std::string& bytes) {
  Picture p;
  size_t i = 0;
  std::string fields[4];
  for (int f = 0; f < 4; ++f) {
    while (i < bytes.size() && (std::isspace(static_cast<unsigned char>(bytes[i])) || bytes[i] == '#')) {
      if (bytes[i] == '#') {
        while (i < bytes.size() && bytes[i] != '\n') ++i;
      } else {
        ++i;
      }
    }
    while (i < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[i]))) fields[f] += bytes[i++];
  }
  ++i;
  if (fields[0] != "P5" && fields[0] != "P6") return {};
  p.width = static_cast<uint32_t>(std::atoi(fields[1].c_str()));
  p.height = static_cast<uint32_t>(std::atoi(fields[2].c_str()));
  p.channels = fields[0] == "P6" ? 3 : 1;
  const size_t n = size_t{p.width} * p.height * p.channels;
  if (i + n > bytes.size()) return {};
  p.samples.assign(bytes.begin() + static_cast<ptrdiff_t>(i), bytes.begin() + static_cast<ptrdiff_t>(i + n));
  return p;
}

bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

bool HaveTool(const std::string& name) {
#ifdef _WIN32
  (void)name;
  return false;  // the tools run through a POSIX shell
#else
  return Run("command -v " + name + " >/dev/null");
#endif
}

std::string MakePpm(uint32_t width, uint32_t height, uint32_t seed) {
  std::string s = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  uint32_t state = seed * 2654435761u + 1;
  auto noise = [&] {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 27) - 16;
  };
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const int r = static_cast<int>(x * 255 / std::max(1u, width - 1));
      const int g = static_cast<int>(y * 255 / std::max(1u, height - 1));
      const int b = ((x / 13 + y / 9) & 1) ? 200 : 40;
      for (int v : {r, g, b}) s.push_back(static_cast<char>(std::clamp(v + noise(), 0, 255)));
    }
  }
  return s;
}

Difference Compare(const Picture& a, const Picture& b) {
  Difference d;
  if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.samples.empty()) {
    d.max = d.interiorMax = 9999;
    d.mean = 9999;
    return d;
  }
  uint64_t total = 0;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      const bool edge = x % 16 == 0 || x % 16 == 15 || y % 16 == 0 || y % 16 == 15;
      for (uint32_t c = 0; c < a.channels; ++c) {
        const size_t i = (size_t{y} * a.width + x) * a.channels + c;
        const int diff = std::abs(int{a.samples[i]} - int{b.samples[i]});
        total += static_cast<uint64_t>(diff);
        d.max = std::max(d.max, diff);
        if (!edge) d.interiorMax = std::max(d.interiorMax, diff);
      }
    }
  }
  d.mean = static_cast<double>(total) / static_cast<double>(a.samples.size());
  return d;
}

}  // namespace vt::jpegtest
