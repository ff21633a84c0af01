#pragma once
// PackBits run-length data as a stream that fills one row at a time: a run or
// literal that reaches past the end of a row carries on into the next one.
#include <cstddef>
#include <cstdint>

#include "base/byte_cursor.h"

namespace vt {

class PackBitsStream {
 public:
  explicit PackBitsStream(ByteCursor data) : data_(data) {}

  // Writes up to n bytes to dst and returns how many it wrote: fewer than n
  // only when the data ran out (a literal cut short keeps the bytes it has).
  size_t Fill(uint8_t* dst, size_t n);

 private:
  ByteCursor data_;
  uint32_t literal_ = 0;  // literal bytes still to copy
  uint32_t repeat_ = 0;   // copies of value_ still to write
  uint8_t value_ = 0;
};

}  // namespace vt
