#pragma once
// Reader for Windows icons and cursors (ico, cur): the best image of the
// file's directory, a device-independent bitmap with its AND mask or an
// embedded PNG stream.
#include "image/format_registry.h"

namespace vt {

// kOk for a file named *.ico or *.cur whose header is plausible (reserved word
// 0, type 1 or 2, 1 to 99 entries, at least 62 bytes), else kUnknownFormat.
Status ProbeIco(const FileSource& source);
RefPtr<ImageReader> CreateIcoReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
