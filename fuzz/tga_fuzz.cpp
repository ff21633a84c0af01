// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/tga/tga_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"tga", vt::ProbeTga, vt::CreateTgaReader)
