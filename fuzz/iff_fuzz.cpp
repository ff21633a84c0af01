// Arbitrary bytes through the IFF reader alone (see fuzz_one_reader.h).
#include "formats/iff/iff_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"iff", u"Interchange file format", vt::ProbeIff, vt::CreateIffReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
