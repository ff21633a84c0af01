// Arbitrary bytes through one metadata parser (see fuzz_one_reader.h).
#include "formats/meta/exif_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_PROPERTIES(vt::ReadExifBlock)
