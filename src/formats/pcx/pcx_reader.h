#pragma once
// Reader for PC Paintbrush (PCX) images.
#include "image/format_registry.h"

namespace vt {

// kOk when the 128-byte header is plausible, else kUnknownFormat.
Status ProbePcx(const FileSource& source);
RefPtr<ImageReader> CreatePcxReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
