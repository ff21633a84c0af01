// Arbitrary bytes through one reader alone (see fuzz_one_reader.h): the build
// names the reader by its extension in VT_FUZZ_FORMAT.
#include "formats/builtin_formats.h"
#include "fuzz_one_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const vt::FormatRecord* record = [] {
    static vt::FormatRegistry registry;
    vt::RegisterBuiltinFormats(registry);
    return registry.At(registry.LookupByExtension(u"input." VT_FUZZ_FORMAT));
  }();
  return vt::fuzz::FuzzOneReader(data, size, *record);
}
