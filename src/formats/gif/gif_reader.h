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

// Frames beyond either limit are left out of the chain, so that a file of a few
// kilobytes cannot make the pipeline hold millions of frame buffers. Every frame
// charges its plane and a fixed overhead for its reader and buffer against the
// byte budget.
inline constexpr uint32_t kGifMaxFrames = 8192;
inline constexpr uint64_t kGifMaxChainBytes = uint64_t{1} << 30;
inline constexpr uint64_t kGifFrameOverheadBytes = 8192;
// The largest frame accepted: a bigger first frame fails with kDamaged.
inline constexpr uint64_t kGifMaxFramePixels = uint64_t{1} << 30;

}  // namespace vt
