// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/psd/psd_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"psd", vt::ProbePsd, vt::CreatePsdReader)
