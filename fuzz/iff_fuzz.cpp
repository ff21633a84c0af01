// Arbitrary bytes through the IFF reader alone: probe, open, decode all frames
// into memory buffers and the first into a display buffer, with a progress
// sink that cancels half-way on some inputs. Images above a pixel cap are
// skipped before their planes are allocated.
#include <cstdint>
#include <string>

#include "formats/iff/iff_reader.h"
#include "image/format_registry.h"

namespace {
constexpr uint64_t kPixelCap = uint64_t{1} << 22;

const vt::FormatRecord kRecord{u"iff", u"Interchange file format", vt::ProbeIff, vt::CreateIffReader};

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
      vt::MakeMemorySource(u"input.iff", std::string(reinterpret_cast<const char*>(data), size));
  if (vt::Failed(vt::ProbeIff(*source))) return 0;
  vt::RefPtr<vt::ImageReader> reader = vt::CreateIffReader(source.get(), &kRecord);
  if (!reader || vt::Failed(reader->Open())) return 0;
  uint64_t pixels = 0;
  for (vt::ImageReader* r = reader.get(); r; r = r->NextReader())
    pixels += uint64_t{r->Width()} * r->Height();
  if (pixels > kPixelCap) return 0;

  vt::RefPtr<vt::ImageBuffer> image;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &image, false, false)))
    reader->DecodeInto(image.get(), true, nullptr, nullptr);

  // The last byte picks a second run: cancelled half-way or not.
  vt::CancelFlag cancel;
  vt::RefPtr<vt::ProgressSink> sink;
  if (data[size - 1] & 1) sink = vt::MakeRef<CancelHalfway>(&cancel);
  vt::RefPtr<vt::ImageBuffer> display;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &display, true, false)))
    reader->DecodeInto(display.get(), false, sink.get(), &cancel);
  return 0;
}
