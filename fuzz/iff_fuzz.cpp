// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/iff/iff_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"iff", vt::ProbeIff, vt::CreateIffReader)
