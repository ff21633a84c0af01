#pragma once
// Reader for JPEG files (JFIF, EXIF and plain streams): the jpg, jif, jfif,
// jpe and jpeg records of the format registry share these two functions.
#include "image/format_registry.h"

namespace vt {

// kOk when the data start with an SOI marker, at offset 0 or behind a
// 692-byte preamble; kUnknownFormat otherwise.
Status ProbeJpeg(const FileSource& source);
RefPtr<ImageReader> CreateJpegReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
