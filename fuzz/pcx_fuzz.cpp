// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/pcx/pcx_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"pcx", vt::ProbePcx, vt::CreatePcxReader)
