// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/hdr/hdr_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"hdr", vt::ProbeHdr, vt::CreateHdrReader)
