// Arbitrary bytes through the GIF reader alone: probe, open (which builds the
// whole frame chain), then decode the frames one by one into memory buffers,
// and the first one into a display buffer as well. Frames above a pixel cap are
// skipped before their planes are allocated, and only the first frames of a
// long chain are decoded, so that one input stays fast.
#include <cstdint>
#include <string>

#include "formats/gif/gif_reader.h"
#include "image/format_registry.h"

namespace {
constexpr uint64_t kPixelCap = uint64_t{1} << 22;
constexpr int kFrameCap = 64;

const vt::FormatRecord kRecord{u"gif", u"Graphics interchange format", vt::ProbeGif,
                               vt::CreateGifReader};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto source =
      vt::MakeMemorySource(u"input.gif", std::string(reinterpret_cast<const char*>(data), size));
  if (vt::Failed(vt::ProbeGif(*source))) return 0;
  vt::RefPtr<vt::ImageReader> reader = vt::CreateGifReader(source.get(), &kRecord);
  if (!reader || vt::Failed(reader->Open())) return 0;

  int frames = 0;
  for (vt::ImageReader* r = reader.get(); r && frames < kFrameCap; r = r->NextReader(), ++frames) {
    if (uint64_t{r->Width()} * r->Height() > kPixelCap) continue;
    vt::RefPtr<vt::ImageBuffer> image;
    if (vt::Succeeded(vt::MakeTargetBuffer(r, &image, false, false)))
      r->DecodeInto(image.get(), false, nullptr, nullptr);
  }

  if (uint64_t{reader->Width()} * reader->Height() <= kPixelCap) {
    vt::RefPtr<vt::ImageBuffer> display;
    if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &display, true, false)))
      reader->DecodeInto(display.get(), false, nullptr, nullptr);
  }
  return 0;
}
