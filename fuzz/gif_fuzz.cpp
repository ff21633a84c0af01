// Arbitrary bytes through one reader alone (see fuzz_one_reader.h).
#include "formats/gif/gif_reader.h"
#include "fuzz_one_reader.h"

VT_FUZZ_READER(u"gif", vt::ProbeGif, vt::CreateGifReader)
