// Arbitrary bytes through the icon and cursor reader alone (see fuzz_one_reader.h).
#include "formats/ico/ico_reader.h"
#include "fuzz_one_reader.h"

namespace {
const vt::FormatRecord kRecord{u"ico", u"Windows 图标", vt::ProbeIco, vt::CreateIcoReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzOneReader(data, size, kRecord);
}
