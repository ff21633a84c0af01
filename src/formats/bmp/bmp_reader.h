#pragma once
// Reader for Windows and OS/2 device-independent bitmaps: the bmp, dib and rle
// records of the format registry share these two functions.
#include "image/format_registry.h"

namespace vt {

// kOk for a bitmap whose information header this reader knows, kUnknownFormat
// for anything else, kUnsupportedSubformat for an unknown header size.
Status ProbeBmp(const FileSource& source);
RefPtr<ImageReader> CreateBmpReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
