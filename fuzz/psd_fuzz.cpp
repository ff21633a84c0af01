// Arbitrary bytes through the PhotoShop reader alone (see fuzz_one_reader.h).
#include "formats/psd/psd_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"psd", u"PhotoShop format", vt::ProbePsd, vt::CreatePsdReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
