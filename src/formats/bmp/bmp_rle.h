#pragma once
// Run-length decoding of bitmap pixel data (the 8-bit and 4-bit codes of
// device-independent bitmaps) into an Indexed8 plane.
#include "base/byte_cursor.h"
#include "base/cancel.h"
#include "image/image_buffer.h"

namespace vt {

enum class BmpRleCodes : uint8_t { Rle8, Rle4 };

// Decodes the code stream (starting at its first byte, which is taken to lie at
// an even position: padding is counted from the start of the stream) into
// plane, bottom row first. The plane must already hold the value that pixels
// the stream never reaches keep. Stops at the end-of-bitmap code, after the last
// row, at a delta that leaves the image, at the end of the stream or when cancel
// is set; never writes outside the plane's width x height pixels.
void DecodeBmpRle(ByteCursor stream, const PlaneView& plane, BmpRleCodes codes,
                  const CancelFlag* cancel);

}  // namespace vt
