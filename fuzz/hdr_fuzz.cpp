// Arbitrary bytes through the Radiance reader alone (see fuzz_one_reader.h).
#include "formats/hdr/hdr_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"hdr", u"Radiance RGBE image format", vt::ProbeHdr, vt::CreateHdrReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
