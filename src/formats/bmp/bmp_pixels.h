#pragma once
// The uncompressed pixel rows of a device-independent bitmap: 1, 4 and 8-bit
// palette indices, 16 and 32-bit colour masks, 24-bit and plain 32-bit colour,
// rows padded to four bytes. Shared by bitmap files and the bitmap images of
// icons and cursors.
#include <cstdint>

#include "base/byte_cursor.h"
#include "base/cancel.h"
#include "base/status.h"
#include "image/image_buffer.h"
#include "image/image_reader.h"

namespace vt {

struct BmpRowLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitDepth = 0;  // 1, 4, 8, 16, 24 or 32
  bool topDown = false;   // else the first stored row is the bottom one
  // Colour masks; a depth of 16, or 32 with bitFields set, takes its colours
  // from them. A 32-bit image without them keeps its fourth byte as alpha
  // when alphaMask is 0xFF000000, else it is opaque.
  bool bitFields = false;
  uint32_t redMask = 0;
  uint32_t greenMask = 0;
  uint32_t blueMask = 0;
  uint32_t alphaMask = 0;
};

// Bytes of one stored row: whole bytes, padded to a multiple of 4.
uint64_t BmpStoredRowBytes(uint64_t width, uint32_t bitDepth);

// Decodes the rows that start at the cursor's first byte into plane (Indexed8
// for depths up to 8, else Bgra8). Rows the data end in or before decode as
// far as they go; every pixel without data is zero. Reports progress every 32
// rows and tests the cancel flag after every row: kCancelled, else kOk.
Status DecodeBmpRows(ByteCursor pixels, const BmpRowLayout& layout, const PlaneView& plane,
                     ProgressSink* progress, const CancelFlag* cancel);

}  // namespace vt
