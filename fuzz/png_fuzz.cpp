// Arbitrary bytes through the PNG reader alone: probe, open, decode every
// frame into memory buffers and the first frame into a display buffer that a
// progress sink may cancel half-way. Images above a pixel cap, and animations
// above a frame cap, are skipped before their planes are allocated.
#include <cstdint>
#include <string>

#include "formats/png/png_reader.h"
#include "image/format_registry.h"

namespace {
constexpr uint64_t kPixelCap = uint64_t{1} << 22;
constexpr uint32_t kFrameCap = 64;

const vt::FormatRecord kRecord{u"png", u"Portable network graphics", vt::ProbePng,
                               vt::CreatePngReader};

class CancelHalfway : public vt::ProgressSink {
 public:
  explicit CancelHalfway(vt::CancelFlag* flag) : flag_(flag) {}
  void Report(uint32_t done, uint32_t total) override {
    if (total && done * 2 >= total) flag_->Set();
  }

 private:
  vt::CancelFlag* flag_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto source =
      vt::MakeMemorySource(u"input.png", std::string(reinterpret_cast<const char*>(data), size));
  if (vt::Failed(vt::ProbePng(*source))) return 0;
  vt::RefPtr<vt::ImageReader> reader = vt::CreatePngReader(source.get(), &kRecord);
  if (!reader || vt::Failed(reader->Open())) return 0;

  uint32_t frames = 0;
  uint64_t pixels = 0;
  for (vt::ImageReader* r = reader.get(); r; r = r->NextReader()) {
    ++frames;
    pixels += uint64_t{r->Width()} * r->Height();
  }
  if (frames > kFrameCap || pixels > kPixelCap) return 0;

  vt::RefPtr<vt::ImageBuffer> image;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &image, false, false)))
    reader->DecodeInto(image.get(), true, nullptr, nullptr);

  vt::CancelFlag cancel;
  vt::RefPtr<vt::ProgressSink> sink;
  if (data[size - 1] & 1) sink = vt::MakeRef<CancelHalfway>(&cancel);
  vt::RefPtr<vt::ImageBuffer> display;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &display, true, false)))
    reader->DecodeInto(display.get(), false, sink.get(), &cancel);
  return 0;
}
