#pragma once
// A made-up image format for exercising the registry and the load pipeline
// without depending on any real reader.
//
// Layout: "FAKE", u8 pixel format, u8 colour model, u8 bit depth, u8 frames,
// u16 width, u16 height, u16 reduced width, u16 reduced height, i32 delay, u8 alpha,
// then the pixel bytes of each frame, row after row (width * bpp each).
#include <string>

#include "image/format_registry.h"

namespace vt::test {

struct FakeImage {
  PixelFormat format = PixelFormat::Bgra8;
  ColourModel model = ColourModel::Unknown;
  uint8_t bitDepth = 8;
  uint8_t frames = 1;
  uint16_t width = 2;
  uint16_t height = 2;
  uint16_t reducedWidth = 0;
  uint16_t reducedHeight = 0;
  int32_t delay = 0;
  AlphaMode alpha = AlphaMode::None;
  // Defaults to a deterministic pattern when empty.
  std::string pixels;
};

std::string EncodeFake(const FakeImage& image);
Status ProbeFake(const FileSource& source);
RefPtr<ImageReader> CreateFakeReader(FileSource* source, const FormatRecord* record);
// How many times Decode ran, and with which reduced flag last.
int FakeDecodeCount();
bool FakeLastReduced();

}  // namespace vt::test
