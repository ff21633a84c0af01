#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"
#include "image/image_buffer.h"

namespace vt {

// How a buffer is laid out as a PAM (netpbm P7) file: in the decoded format's own
// precision (8 or 16 bits; float formats as 16 bits), grey as GRAYSCALE, colour
// as RGB or RGB_ALPHA, palettes expanded to RGB_ALPHA.
struct PamLayout {
  uint32_t depth = 0;
  uint32_t maxval = 0;
  const char* tupleType = "";
};

// forceAlpha writes RGB_ALPHA for a colour buffer without alpha (alpha = maxval).
PamLayout PamLayoutFor(ImageBuffer* image, bool forceAlpha = false);

// Receives the file's bytes in order; false stops the writer.
using PamSink = std::function<bool(const uint8_t* data, size_t size)>;

// Writes the header and the samples, top row first, 16-bit samples big-endian.
// Alpha is written straight: premultiplied pixels are divided back. Float samples
// are clamped to 0..1 (not-a-number gives 0) and scaled by 65535 with rounding.
// kInvalidArgument for an empty or zero-sized image, kCannotWriteFile when the
// sink refuses.
Status WritePam(ImageBuffer* image, const PamSink& sink, bool forceAlpha = false);

// The same into a file (created or replaced; removed again when writing fails).
Status WritePamFile(ImageBuffer* image, const std::u16string& path, bool forceAlpha = false);

}  // namespace vt
