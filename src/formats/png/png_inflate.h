#pragma once
// The one place where PNG image data meet a deflate decoder, kept small so
// that another inflater can stand behind it (benchmarks compare them).
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/cancel.h"
#include "base/status.h"

namespace vt {

// Inflates the zlib stream made of pieces (the data of consecutive image-data
// chunks, in order) into out, writing at most outSize bytes; *produced gets
// the count written. kOk when the stream ended, when out is full, and when
// the pieces ran out before the stream ended (a truncated file: what was
// produced stands). kDamaged for a malformed stream or one that needs a preset
// dictionary, kOutOfMemory, kGeneralFailure for anything else. The cancel flag
// is polled between pieces. The trailing checksum is not verified, as chunk
// CRCs are not: damage shows in the pixels, not as a refusal.
//
// ready, when set, is told how many bytes are in out every so often while the
// inflater works, so the caller can process rows while they are still in the
// cache; an inflater may also call it only once at the end, or never.
struct PngInflateReady {
  void (*call)(void* context, size_t produced) = nullptr;
  void* context = nullptr;
};
using PngInflateFunction = Status (*)(std::span<const std::span<const uint8_t>> pieces,
                                      uint8_t* out, size_t outSize, size_t* produced,
                                      const CancelFlag* cancel, PngInflateReady ready);

// The zlib implementation, the default.
Status InflatePngZlib(std::span<const std::span<const uint8_t>> pieces, uint8_t* out,
                      size_t outSize, size_t* produced, const CancelFlag* cancel,
                      PngInflateReady ready);

#ifdef VT_HAVE_LIBDEFLATE
// libdeflate in one call, falling back to zlib for streams it cannot take
// whole; the default where the build has libdeflate.
Status InflatePngLibdeflate(std::span<const std::span<const uint8_t>> pieces, uint8_t* out,
                            size_t outSize, size_t* produced, const CancelFlag* cancel,
                            PngInflateReady ready);
#endif

// Replaces the inflater for every PNG decode that starts afterwards; null
// restores the default (libdeflate where the build has it, else zlib).
void SetPngInflateFunction(PngInflateFunction fn);
PngInflateFunction ActivePngInflateFunction();

}  // namespace vt
