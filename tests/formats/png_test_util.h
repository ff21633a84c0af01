#pragma once
// Shared by the PNG tests: decoding through the pipeline with only the PNG
// reader registered, pixels as red-green-blue-alpha samples, and a small
// writer for hand-made files.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ref_counted.h"
#include "base/status.h"
#include "image/image_buffer.h"
#include "image/image_reader.h"

namespace vt::test {

struct PngDecoded {
  Status status = status::kOk;
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;  // first frame; the chain follows through Next()
};

// Opens and decodes a file (allFrames chains the animation) into a buffer of
// the reader's own output format.
PngDecoded DecodePngFile(const std::string& path, bool allFrames = false);
PngDecoded DecodePngBytes(const std::string& bytes, bool allFrames = false);

// Red, green, blue, alpha per pixel in the image's own precision (8 or 16).
std::vector<uint16_t> RgbaSamples(ImageBuffer* image, uint32_t* bits = nullptr);
uint64_t Fnv1a(const std::vector<uint16_t>& samples);

// Chunk writer: a signature followed by the chunks added (CRCs are written
// correctly even though the reader ignores them).
class PngWriter {
 public:
  PngWriter();
  PngWriter& Chunk(const char* type, const std::string& data);
  PngWriter& Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType, uint8_t interlace = 0);
  // Raw filtered rows (filter byte included), deflated into one IDAT.
  PngWriter& Idat(const std::string& rows);
  PngWriter& Iend() { return Chunk("IEND", ""); }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};
std::string Be32(uint32_t v);
std::string Be16(uint16_t v);
std::string Deflate(const std::string& raw);

}  // namespace vt::test
