// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/fits/fits_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"fits", vt::ProbeFits, vt::CreateFitsReader)
