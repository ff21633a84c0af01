// Arbitrary bytes through the reader of DirectDraw surfaces alone (see fuzz_one_reader.h).
#include "formats/dds/dds_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"dds", u"DirectDraw surface", vt::ProbeDds, vt::CreateDdsReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
