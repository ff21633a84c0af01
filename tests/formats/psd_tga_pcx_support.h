#pragma once
// Shared by the PSD, TARGA and PC Paintbrush reader tests: loading bytes through
// the built-in registry, and reference decodes by third-party tools.
#include <cstdint>
#include <string>
#include <vector>

#include "image/format_registry.h"

namespace vt::test {

struct Loaded {
  Status status = status::kGeneralFailure;
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
};

// The load pipeline on bytes held in memory under a file name (the name picks
// the reader first, as on disk). display: a display buffer where possible.
Loaded LoadBytes(const std::string& bytes, const std::u16string& name, bool display = false,
                 const CancelFlag* cancel = nullptr);
Loaded LoadPath(const std::string& path);

// A decoded image as red, green, blue, alpha bytes (through the viewer's
// conversion to Bgra8).
struct Rgba {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> data;  // 4 bytes a pixel, rows top to bottom
  const uint8_t* Pixel(uint32_t x, uint32_t y) const {
    return data.data() + (size_t{y} * width + x) * 4;
  }
};
Rgba ToRgba(ImageBuffer* image);
// A decoded Bgra16 or Gray16 image as 16-bit samples: red, green, blue, alpha
// (grey repeated, alpha 65535).
std::vector<uint16_t> ToRgba16(ImageBuffer* image);

// Reference decodes; false when the tool is missing or cannot read the file.
// Pillow's decode converted to RGBA (mode gets Pillow's own image mode).
bool PillowRgba(const std::string& path, Rgba* out, std::string* mode = nullptr);
// ImageMagick's decode of the first image as RGBA with 8 or 16 bits per sample
// (16-bit samples big-endian in data); floating-point files as 32-bit floats
// (depth 32), machine order.
bool MagickRgba(const std::string& path, int depth, Rgba* out);

bool HavePillow();
bool HaveMagick();
bool HaveProgram(const std::string& name);
// Runs a command line through the shell; true when it exits with 0.
bool Shell(const std::string& command);

// FNV-1a over size and pixels, for checked-in hashes.
uint64_t HashRgba(const Rgba& image);

void Put16LE(std::string* s, uint32_t v);
void Put16BE(std::string* s, uint32_t v);
void Put32LE(std::string* s, uint32_t v);
void Put32BE(std::string* s, uint32_t v);

}  // namespace vt::test
