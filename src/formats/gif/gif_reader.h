#pragma once
// Reader for GIF files, still and animated: one reader object per frame, the
// first one parsing the whole file and linking the others behind it.
#include <cstdint>

#include "image/format_registry.h"

namespace vt {

// kOk for a file of at least 14 bytes that starts with "GIF" (the version is
// not checked), kUnknownFormat otherwise.
Status ProbeGif(const FileSource& source);
RefPtr<ImageReader> CreateGifReader(FileSource* source, const FormatRecord* record);

// GIF's names for the image limits: frames beyond the frame count or the bytes
// of the chain are left out of it, so that a file of a few kilobytes cannot
// make the pipeline hold millions of frame buffers; a first frame beyond the
// frame limits fails with kDamaged.
inline constexpr uint32_t kGifMaxFrames = kImageLimits.maxFrames;
inline constexpr uint64_t kGifMaxChainBytes = kImageLimits.maxChainBytes;

}  // namespace vt
