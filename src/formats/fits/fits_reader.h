#pragma once
// Reader for the primary array of FITS files (fit, fits): 8, 16 and 32-bit
// integer and 32 and 64-bit floating-point samples as grey images.
#include "image/format_registry.h"

namespace vt {

// Parses the header: kOk for a primary array this reader shows, kUnknownFormat
// when the file does not start with a "SIMPLE" card, kUnsupportedSubformat for
// a "SIMPLE" card that is not "T" or values this reader cannot show.
Status ProbeFits(const FileSource& source);
RefPtr<ImageReader> CreateFitsReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
