#pragma once
// What the reader tests share: loading bytes or files through the registry of
// every built-in reader, byte writers for hand-made files, pixels as words,
// frames laid on their canvas, the pixel hash of the corpus table, and the
// every-prefix rule. No reference tool runs here: references are checked in as
// hashes (see make_corpus_hashes.py).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt::test {

const FormatRegistry& Readers();

struct LoadOptions {
  bool allFrames = false;
  bool display = false;  // a display buffer where the reader's format allows one
  bool reduced = false;
  ProgressSink* progress = nullptr;
  const CancelFlag* cancel = nullptr;
};

// The first failure of open, target and decode, or the decoded image.
struct Loaded {
  Status status = status::kGeneralFailure;
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
  bool Ok() const { return Succeeded(status); }
  // A pixel of the first frame converted to Bgra8, as 0xAARRGGBB.
  uint32_t Px(uint32_t x, uint32_t y);
  // A row of the first frame as stored (indices, grey bytes), for indexed checks.
  std::string RawRow(uint32_t y, size_t bytes) const;

 private:
  RefPtr<ImageBuffer> bgra_;
};

// The name picks the reader first, as on disk; probing follows.
Loaded Load(const std::string& bytes, const std::u16string& name, const LoadOptions& o = {});
Loaded LoadFile(const std::string& path, const LoadOptions& o = {});
// Only the reader's Open, without the registry's probe.
Status OpenWith(RefPtr<ImageReader> (*create)(FileSource*, const FormatRecord*),
                const std::string& bytes);

// Little- and big-endian numbers of n bytes, and bytes from small numbers.
std::string Le(uint64_t v, int n);
std::string Be(uint64_t v, int n);
std::string B(std::initializer_list<int> bytes);
std::string Deflate(const std::string& raw);
// A PNG chunk with its length and CRC; a whole 8-bit RGBA file of one colour.
std::string PngChunk(const char* type, const std::string& data);
std::string SolidPng(uint32_t width, uint32_t height, uint32_t argb);

// A frame or a composed canvas: red, green, blue, alpha samples of 8 or 16 bits.
struct Canvas {
  uint32_t width = 0, height = 0, bits = 8;
  std::vector<uint16_t> rgba;
};
// What a player shows after each frame of the chain: frames drawn at their
// offsets on a canvas that starts transparent, blending straight alpha where
// the frame says so, then disposed of (1 clears the frame's rectangle, 2 puts
// back what was under it). A lone frame that fills its canvas stays as decoded,
// in 16 bits when it has them.
std::vector<Canvas> Canvases(ImageBuffer* first);
// FNV-1a over each picked canvas's size and samples (16-bit ones little-endian);
// transparent pixels count as transparent black. pick: canvas indices
// separated by spaces, empty for all.
uint64_t CanvasHash(const std::vector<Canvas>& canvases, const std::string& pick);

// Loads every prefix of a valid file: each is refused, or gives an image of
// the whole file's size (or, while the size is still being read, an empty
// one). strict: a prefix also shows only the whole file's pixels,
// or nothing (a zero colour channel, or a transparent pixel) where data are
// missing, and never fewer of them than a shorter prefix showed.
void CheckEveryPrefix(const std::string& bytes, const std::u16string& name, bool strict);

}  // namespace vt::test
