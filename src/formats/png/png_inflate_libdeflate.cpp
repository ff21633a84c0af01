// libdeflate inflates a whole zlib stream in one call, markedly faster than
// zlib's streaming inflate; it is the default where the build has it (Linux).
// Streams it cannot take whole (truncated files, more data than the image
// needs) go to the streaming zlib inflater, which keeps what it can.
#ifdef VT_HAVE_LIBDEFLATE

#include <libdeflate.h>

#include <memory>
#include <vector>

#include "formats/png/png_inflate.h"

namespace vt {

Status InflatePngLibdeflate(std::span<const std::span<const uint8_t>> pieces, uint8_t* out,
                            size_t outSize, size_t* produced, const CancelFlag* cancel,
                            PngInflateReady ready) {
  *produced = 0;
  std::span<const uint8_t> whole;
  std::vector<uint8_t> joined;
  if (pieces.size() == 1) {
    whole = pieces[0];
  } else {
    size_t total = 0;
    for (const auto& p : pieces) total += p.size();
    joined.reserve(total);
    for (const auto& p : pieces) joined.insert(joined.end(), p.begin(), p.end());
    whole = joined;
  }
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
  if (d) {
    size_t got = 0;
    if (libdeflate_zlib_decompress(d.get(), whole.data(), whole.size(), out, outSize, &got) ==
        LIBDEFLATE_SUCCESS) {
      *produced = got;
      if (ready.call) ready.call(ready.context, got);
      return status::kOk;
    }
  }
  return InflatePngZlib(pieces, out, outSize, produced, cancel, ready);
}

}  // namespace vt

#endif
