// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/jpeg/jpeg_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"jpg", vt::ProbeJpeg, vt::CreateJpegReader)
