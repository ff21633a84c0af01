// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/bmp/bmp_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"bmp", vt::ProbeBmp, vt::CreateBmpReader)
