#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_cursor.h"

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

// Decodes GIF image data (starting at the minimum-code-size byte) a piece of
// output at a time, so that a caller can report progress and stop between
// pieces. Each Decode continues where the last one stopped; a string that the
// last output cut off continues at the start of the next.
class LzwDecoder {
 public:
  explicit LzwDecoder(std::span<const uint8_t> data);

  // Writes up to out.size() bytes. kOutputFull: out is full and the stream
  // goes on (call again); any other stop ends the stream, and later calls
  // write nothing and give the same stop.
  LzwDecodeResult Decode(std::span<uint8_t> out);

 private:
  class CodeReader {
   public:
    explicit CodeReader(ByteCursor in) : in_(in) {}
    // False when the data end or a zero-length block comes first; `stop` says which.
    bool Read(int width, uint32_t* code, LzwStop* stop);

   private:
    ByteCursor in_;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    size_t blockLeft_ = 0;
  };

  // Writes bytes [from, to) of the string of `code` at out.
  void WriteString(uint32_t code, size_t from, size_t to, uint8_t* out) const;

  CodeReader reader_;
  uint32_t minimum_ = 0;
  uint32_t clearCode_ = 0;
  uint32_t next_ = 0;
  int width_ = 0;
  int32_t previous_ = -1;  // no previous code right after a clear code
  // A code read when the output was already full, to be decoded first next time.
  int32_t held_ = -1;
  // A string the output cut off: its code and how many bytes of it are written.
  int32_t cutCode_ = -1;
  size_t cutDone_ = 0;
  bool ended_ = false;
  LzwStop stop_ = LzwStop::kEndOfData;
  // Every entry is its prefix entry plus one byte; its first byte and length are
  // kept so that a string can be written back to front straight into the output.
  std::array<uint16_t, kLzwMaxCodes> prefix_;
  std::array<uint8_t, kLzwMaxCodes> suffix_;
  std::array<uint8_t, kLzwMaxCodes> first_;
  std::array<uint16_t, kLzwMaxCodes> length_;
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
