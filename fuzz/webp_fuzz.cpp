// Arbitrary bytes through the WebP reader alone (see fuzz_one_reader.h).
#include "formats/webp/webp_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"webp", u"Google WebP file format", vt::ProbeWebp, vt::CreateWebpReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
