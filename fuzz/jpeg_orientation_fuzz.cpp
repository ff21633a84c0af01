// Arbitrary bytes as a JPEG file whose orientation tag is looked for: a tag
// found must lie inside the bytes, and hold the value written there.
#include <cstdint>
#include <cstdlib>

#include "files/jpeg_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto tag = vt::FindJpegOrientationTag({data, size});
  if (!tag) return 0;
  if (tag->offset > size || size - tag->offset < 2) std::abort();
  const uint8_t* p = data + tag->offset;
  const uint16_t value = tag->bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
  if (value != tag->value) std::abort();
  return 0;
}
