#pragma once
// Reader for TARGA images. The format has no signature: a file is taken as
// TARGA by its name (".tga", ".targa") and a plausible header.
#include "image/format_registry.h"

namespace vt {

// kOk for a file named *.tga or *.targa whose header is plausible, else
// kUnknownFormat.
Status ProbeTga(const FileSource& source);
RefPtr<ImageReader> CreateTgaReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
