#pragma once
// Helpers of the JPEG tests: streams built segment by segment, decoding
// through the registry, reference tools and PNM files.
#include <cstdint>
#include <string>
#include <vector>

#include "image/format_registry.h"
#include "image/image_reader.h"

namespace vt::jpegtest {

struct Component {
  uint8_t id;
  uint8_t sampling;  // horizontal << 4 | vertical
};

// A whole stream: SOI, extra segments, one quantisation table of ones, the
// frame header, one-code Huffman tables (DC category 0, AC end of block) and a
// scan whose data are zero bits, so that every sample decodes as 128.
struct Stream {
  uint8_t frameMarker = 0xC0;
  uint8_t precision = 8;
  uint16_t width = 8;
  uint16_t height = 8;
  std::vector<Component> components{{1, 0x11}};
  std::string extra;  // segments placed before the frame header
  bool withScan = true;
};
std::string Build(const Stream& s);
// One marker segment with its length.
std::string Segment(uint8_t marker, const std::string& payload);

const FormatRegistry& Registry();

struct Decoded {
  Status status = status::kGeneralFailure;
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
};
Decoded Decode(const std::string& bytes, bool reduced = false, ProgressSink* progress = nullptr,
               const CancelFlag* cancel = nullptr);

// A decoded picture as 8-bit samples, 1 (grey) or 3 (red, green, blue) per pixel.
struct Picture {
  uint32_t width = 0, height = 0, channels = 0;
  std::vector<uint8_t> samples;
};
Picture FromImage(ImageBuffer* image);
// Binary PGM or PPM; empty on failure.
Picture ReadPnm(const std::string& bytes);

bool HaveTool(const std::string& name);
// Runs a shell command; true when it exits with 0.
bool Run(const std::string& command);

// A photo-like test picture as binary PPM: gradients, edges and noise.
std::string MakePpm(uint32_t width, uint32_t height, uint32_t seed);

struct Difference {
  int max = 0;
  double mean = 0;
  // Ignoring pixels on the first and last row and column of every 16x16 cell,
  // where block-internal upsampling differs from filters that look across.
  int interiorMax = 0;
};
Difference Compare(const Picture& a, const Picture& b);

}  // namespace vt::jpegtest
