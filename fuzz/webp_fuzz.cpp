// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/webp/webp_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"webp", vt::ProbeWebp, vt::CreateWebpReader)
