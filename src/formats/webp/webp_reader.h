#pragma once
// Reader for WebP files, still and animated, lossy and lossless: the container
// is walked here, each frame's bitstream is decoded by the WebP library.
#include "image/format_registry.h"

namespace vt {

// kOk for at least 20 bytes of "RIFF" ... "WEBP" whose first chunk is "VP8 ", "VP8L" or "VP8X";
// kUnknownFormat for other files, kDamaged for another first chunk. Needs no
// library.
Status ProbeWebp(const FileSource& source);
RefPtr<ImageReader> CreateWebpReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
