// Arbitrary bytes through the FITS reader alone (see fuzz_one_reader.h).
#include "formats/fits/fits_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"fits", u"Flexible image transport system", vt::ProbeFits, vt::CreateFitsReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
