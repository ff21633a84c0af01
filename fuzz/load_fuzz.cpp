// Arbitrary bytes through the whole load pipeline: choose a reader by probing,
// open it, make the target and decode every frame. Images above a pixel cap are
// skipped before their planes are allocated, so the fuzzer explores parsers
// rather than the allocator.
#include <cstdint>
#include <string>

#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "render/scale.h"

namespace {
constexpr uint64_t kPixelCap = uint64_t{1} << 22;
constexpr int kFrameCap = 64;

const vt::FormatRegistry& Registry() {
  static vt::FormatRegistry* r = [] {
    auto* reg = new vt::FormatRegistry();
    vt::RegisterBuiltinFormats(*reg);
    vt::InstallPipelineScaler();
    return reg;
  }();
  return *r;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto source =
      vt::MakeMemorySource(u"input", std::string(reinterpret_cast<const char*>(data), size));
  vt::RefPtr<vt::ImageReader> reader;
  if (vt::Failed(Registry().OpenReader(source.get(), &reader))) return 0;
  int frames = 0;
  for (vt::ImageReader* r = reader.get(); r && frames < kFrameCap; r = r->NextReader(), ++frames) {
    if (uint64_t{r->Width()} * r->Height() > kPixelCap) return 0;
  }
  vt::RefPtr<vt::ImageBuffer> image;
  if (vt::Failed(vt::MakeTargetBuffer(reader.get(), &image, false, false))) return 0;
  reader->DecodeInto(image.get(), frames < kFrameCap, nullptr, nullptr);
  // Read ahead of the reduced path too, where a reader offers one.
  if (reader->HasReducedSize()) {
    vt::RefPtr<vt::ImageBuffer> small;
    if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &small, false, true)))
      reader->DecodeInto(small.get(), false, nullptr, nullptr);
  }
  return 0;
}
