#include "formats/psd/psd_packbits.h"

#include <algorithm>
#include <cstring>

namespace vt {

size_t PackBitsStream::Fill(uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (repeat_ > 0) {
      const size_t k = std::min<size_t>(repeat_, n - done);
      std::memset(dst + done, value_, k);
      done += k;
      repeat_ -= static_cast<uint32_t>(k);
      continue;
    }
    if (literal_ > 0) {
      const size_t k = std::min<size_t>({literal_, n - done, data_.Remaining()});
      if (k == 0) break;
      data_.CopyTo(dst + done, k);
      done += k;
      literal_ -= static_cast<uint32_t>(k);
      continue;
    }
    if (data_.AtEnd()) break;
    const uint8_t control = data_.U8();
    if (control < 128) {
      literal_ = uint32_t{control} + 1;
    } else if (control > 128) {
      if (data_.AtEnd()) break;
      value_ = data_.U8();
      repeat_ = 257u - control;
    }
    // 128 is a no-op that only takes its own byte.
  }
  return done;
}

}  // namespace vt
