// Arbitrary bytes through one metadata parser (see fuzz_one_reader.h): the
// build names it in VT_FUZZ_PARSER.
#include "formats/meta/exif_reader.h"
#include "formats/meta/image_resources.h"
#include "formats/meta/iptc_reader.h"
#include "formats/meta/xmp_reader.h"
#include "fuzz_one_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vt::fuzz::FuzzProperties(data, size, vt::VT_FUZZ_PARSER);
}
