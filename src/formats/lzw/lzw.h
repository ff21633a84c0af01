#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vt {

// The LZW variant of GIF image data: a minimum-code-size byte, then the codes,
// least significant bit first, packed into sub-blocks of at most 255 bytes each
// preceded by its length, ended by a zero-length block. Besides GIF frames, the
// settings store and the index cache keep byte data in this form.

inline constexpr int kLzwMaxCodeBits = 12;
inline constexpr int kLzwMaxCodes = 1 << kLzwMaxCodeBits;  // 4096

// Why decoding stopped.
enum class LzwStop : uint8_t {
  kEndCode,             // the stream's end code
  kOutputFull,          // the output was filled; later codes were not read
  kZeroBlock,           // a zero-length sub-block before the end code
  kEndOfData,           // the data ran out (a truncated stream)
  kBadCode,             // a code that names no entry yet: the stream is damaged
  kBadMinimumCodeSize,  // outside 1..11: nothing was decoded
};

struct LzwDecodeResult {
  size_t written = 0;  // bytes stored in the output, never more than its size
  LzwStop stop = LzwStop::kEndOfData;
};

// Decodes GIF image data (starting at the minimum-code-size byte) into `out`, one
// byte per code symbol. Writing stops at the end of `out`: a stream that holds
// more pixels than the frame is cut, never written past.
LzwDecodeResult LzwDecode(std::span<uint8_t> out, std::span<const uint8_t> data);

// Encodes `height` rows of `width` bytes, rows `stride` bytes apart in `pixels`,
// and appends the GIF image data to `out`. The minimum code size is raised to at
// least 2 and lowered to at most 8; pixel values are masked to it. Returns the
// number of bytes appended, or 0 when `pixels` is too short for the rows.
size_t LzwEncode(std::vector<uint8_t>* out, std::span<const uint8_t> pixels, uint32_t width,
                 uint32_t height, size_t stride, int minimumCodeSize);

// A plain byte string as one row.
inline std::vector<uint8_t> LzwEncodeBytes(std::span<const uint8_t> bytes, int minimumCodeSize) {
  std::vector<uint8_t> out;
  LzwEncode(&out, bytes, static_cast<uint32_t>(bytes.size()), bytes.empty() ? 0 : 1, bytes.size(),
            minimumCodeSize);
  return out;
}

}  // namespace vt
