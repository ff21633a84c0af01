#include "formats/png/png_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>

#include "base/byte_cursor.h"

namespace vt {

namespace {

std::atomic<PngInflateFunction> g_inflate{nullptr};

// Output is handed over in slices that stay in the second-level cache while
// the caller unfilters and converts them.
constexpr size_t kReadySlice = size_t{1} << 18;

Status MapError(int code) {
  switch (code) {
    case Z_MEM_ERROR:
      return status::kOutOfMemory;
    case Z_DATA_ERROR:
    case Z_STREAM_ERROR:
    case Z_NEED_DICT:
      return status::kDamaged;
    default:
      return status::kGeneralFailure;
  }
}

}  // namespace

Status InflatePngZlib(std::span<const std::span<const uint8_t>> pieces, uint8_t* out,
                      size_t outSize, size_t* produced, const CancelFlag* cancel,
                      PngInflateReady ready) {
  *produced = 0;
  // The two-byte zlib header is checked here and the stream inflated raw:
  // that skips the Adler-32 sum over every output byte. The header may
  // straddle pieces.
  uint8_t header[2];
  size_t have = 0;
  size_t piece = 0;
  ByteCursor current;
  for (; piece < pieces.size(); ++piece) {
    current = ByteCursor(pieces[piece]);
    while (have < 2 && !current.AtEnd()) header[have++] = current.U8();
    if (have == 2) break;
  }
  if (have < 2) return status::kOk;  // no data: nothing produced
  if ((header[0] & 0x0F) != 8 || (header[0] >> 4) > 7 ||
      ((uint32_t{header[0]} << 8) | header[1]) % 31 != 0 || (header[1] & 0x20))
    return status::kDamaged;

  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return status::kOutOfMemory;
  Status result = status::kOk;
  size_t written = 0;
  bool done = false;
  for (; piece < pieces.size() && !done; ++piece) {
    if (IsCancelled(cancel)) break;
    // The rest of the piece the header ended in, then whole pieces.
    const std::span<const uint8_t> in = current.Rest();
    if (piece + 1 < pieces.size()) current = ByteCursor(pieces[piece + 1]);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    // Chunks are at most 2^31 - 1 bytes, so one piece always fits in avail_in.
    while (z.avail_in > 0 && written < outSize) {
      const size_t slice = std::min(outSize - written, kReadySlice);
      z.next_out = out + written;
      z.avail_out = static_cast<uInt>(slice);
      const int r = inflate(&z, Z_NO_FLUSH);
      written += slice - z.avail_out;
      if (ready.call && slice != z.avail_out) ready.call(ready.context, written);
      if (r == Z_STREAM_END) {
        done = true;
        break;
      }
      if (r == Z_BUF_ERROR) break;  // no progress possible with this input
      if (r != Z_OK) {
        result = MapError(r);
        done = true;
        break;
      }
    }
    if (written >= outSize) done = true;
  }
  inflateEnd(&z);
  *produced = written;
  return result;
}

void SetPngInflateFunction(PngInflateFunction fn) { g_inflate.store(fn); }

PngInflateFunction ActivePngInflateFunction() {
  PngInflateFunction fn = g_inflate.load();
  if (fn) return fn;
#ifdef VT_HAVE_LIBDEFLATE
  return InflatePngLibdeflate;
#else
  return InflatePngZlib;
#endif
}

}  // namespace vt
