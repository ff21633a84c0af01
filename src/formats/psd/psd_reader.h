#pragma once
// Reader for the merged image of layered PSD documents (and their large-document
// variant, version 2). Layers are not read.
#include "image/format_registry.h"

namespace vt {

// Decode's answer for 32-bit samples stored run-length encoded, which it does
// not read. Outside the table of status texts, so it shows as an unknown error.
inline constexpr Status kPsdFloatRunLength = static_cast<Status>(0x80028019u);

// kOk for "8BPS" with version 1 or 2 in at least 30 bytes, else kUnknownFormat.
Status ProbePsd(const FileSource& source);
RefPtr<ImageReader> CreatePsdReader(FileSource* source, const FormatRecord* record);

}  // namespace vt
