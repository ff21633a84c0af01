// GIF image data from any file: the decoder must stay inside its output and
// agree with itself whatever the output size, in one piece or in many.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/lzw/lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> in(data, size);
  std::vector<uint8_t> big(size * 4 + 64);
  const vt::LzwDecodeResult full = vt::LzwDecode(big, in);
  if (full.written > big.size()) std::abort();
  // A smaller output gets a prefix of the same pixels.
  std::vector<uint8_t> small(full.written / 2);
  const vt::LzwDecodeResult part = vt::LzwDecode(small, in);
  if (part.written > small.size() ||
      !std::equal(small.begin(), small.begin() + static_cast<ptrdiff_t>(part.written), big.begin()))
    std::abort();
  // Decoding a piece at a time gives the same pixels and the same end.
  vt::LzwDecoder pieces(in);
  std::vector<uint8_t> again(big.size());
  const size_t piece = size ? data[size - 1] % 13 + 1 : 1;
  size_t got = 0;
  vt::LzwDecodeResult step;
  do {
    const size_t room = std::min(piece, again.size() - got);
    step = pieces.Decode(std::span<uint8_t>(again.data() + got, room));
    if (step.written > room) std::abort();
    got += step.written;
  } while (step.stop == vt::LzwStop::kOutputFull && got < again.size());
  if (got != full.written || !std::equal(again.begin(), again.begin() + got, big.begin()))
    std::abort();
  if (got < again.size() && step.stop != full.stop) std::abort();
  // The bytes as pixels round-trip at the code size they fit.
  const std::vector<uint8_t> coded = vt::LzwEncodeBytes(in, 8);
  std::vector<uint8_t> back(size);
  const vt::LzwDecodeResult round = vt::LzwDecode(back, coded);
  if (round.written != size || !std::equal(back.begin(), back.end(), in.begin())) std::abort();
  return 0;
}
