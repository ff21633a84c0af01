// Arbitrary bytes through the PC Paintbrush reader alone (see fuzz_one_reader.h).
#include "formats/pcx/pcx_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"pcx", u"PC Paintbrush image", vt::ProbePcx, vt::CreatePcxReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
