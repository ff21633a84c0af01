// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/ico/ico_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"ico", vt::ProbeIco, vt::CreateIcoReader)
