// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/dds/dds_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"dds", vt::ProbeDds, vt::CreateDdsReader)
