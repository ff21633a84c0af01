// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/png/png_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"png", vt::ProbePng, vt::CreatePngReader)
