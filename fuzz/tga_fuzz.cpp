// Arbitrary bytes through the TARGA reader alone (see fuzz_one_reader.h).
#include "formats/tga/tga_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"tga", u"TARGA format", vt::ProbeTga, vt::CreateTgaReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
