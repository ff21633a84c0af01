#pragma once
// Reader for PNG files, animated ones (acTL, fcTL, fdAT) included: each
// animation frame is a reader of its own, chained through the next-frame link.
#include "image/format_registry.h"

namespace vt {

// kOk when the file starts with the PNG signature (and holds at least an IHDR's
// worth of bytes), kUnknownFormat otherwise.
Status ProbePng(const FileSource& source);
RefPtr<ImageReader> CreatePngReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
