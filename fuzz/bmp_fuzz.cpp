// Arbitrary bytes through the bitmap reader alone (see fuzz_one_reader.h).
#include "formats/bmp/bmp_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"bmp", u"Windows bitmap format", vt::ProbeBmp, vt::CreateBmpReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
