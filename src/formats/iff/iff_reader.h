#pragma once
// Reader for IFF bitmaps: planar ILBM and chunky PBM forms (iff, lbm, bbm).
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/format_registry.h"

namespace vt {

// kOk for at least 40 bytes that begin "FORM" with the type "ILBM" or "PBM ",
// kUnknownFormat otherwise.
Status ProbeIff(const FileSource& source);
RefPtr<ImageReader> CreateIffReader(FileSource* source, const FormatRecord* record);

// ByteRun1 (PackBits): a control byte n of 0..127 copies the next n + 1 bytes,
// -1..-127 repeats the next byte 1 - n times, -128 does nothing. Writes at most
// out.size() bytes (a run that would pass the end is cut there) and returns how
// many; stops early when the input ends.
size_t ExpandByteRun1(std::span<const uint8_t> in, std::span<uint8_t> out);

// The column-wise word compression of Atari ST files: one "VDAT" chunk per bit
// plane, each a 16-bit command-area length, command bytes and 16-bit data
// words. Command 0 copies the next word's count of words, 1 repeats a word the
// next word's count of times, n < 0 copies -n words, n > 1 repeats a word n
// times. Words fill each plane column by column (a column is 16 pixels wide and
// height rows tall); planes lie rowBytes apart within rows rowStride apart.
// Writes only inside out; what the data do not reach is left as it was.
void ExpandVerticalWords(std::span<const uint8_t> body, std::span<uint8_t> out,
                         uint64_t rowBytes, uint64_t rowStride, uint32_t height,
                         uint32_t planes);

// One row of hold-and-modify indices (depth 3..8: two control bits above
// depth - 2 value bits) into blue, green, red, alpha pixels. The row starts from
// palette entry 0; control 0 takes a palette entry, 1 sets blue, 2 red and 3
// green of the previous pixel, the value widened to 8 bits by repeating its bits.
void HamRowToBgra8(uint8_t* dst, const uint8_t* indices, size_t n, uint32_t depth,
                   const uint32_t* palette);

}  // namespace vt
