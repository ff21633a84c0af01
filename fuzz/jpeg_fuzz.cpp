// Arbitrary bytes through the JPEG reader and decoder: probe, open, decode at
// full and at reduced size, once more cancelled half-way on some inputs. Every
// output byte is read afterwards so that a sanitizer sees any that were left
// uninitialised or written out of bounds. Images above a pixel cap are skipped
// before their planes are allocated; the decoder bounds the scan count itself.
#include <cstdint>
#include <string>

#include "formats/jpeg/jpeg_reader.h"
#include "image/format_registry.h"

namespace {
constexpr uint64_t kPixelCap = uint64_t{1} << 22;

const vt::FormatRecord kRecord{u"jpg", u"JPEG image file", vt::ProbeJpeg, vt::CreateJpegReader};

class CancelHalfway : public vt::ProgressSink {
 public:
  explicit CancelHalfway(vt::CancelFlag* flag) : flag_(flag) {}
  void Report(uint32_t done, uint32_t total) override {
    if (total && done * 2 >= total) flag_->Set();
  }

 private:
  vt::CancelFlag* flag_;
};

volatile uint32_t g_sink;

void Touch(vt::ImageBuffer* image) {
  uint32_t sum = 0;
  const size_t rowBytes = size_t{image->Width()} * image->BytesPerPixel();
  for (uint32_t y = 0; y < image->Height(); ++y) {
    const uint8_t* row = image->Row(y);
    for (size_t i = 0; i < rowBytes; ++i) sum += row[i];
  }
  g_sink = sum;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto source =
      vt::MakeMemorySource(u"input.jpg", std::string(reinterpret_cast<const char*>(data), size));
  if (vt::Failed(vt::ProbeJpeg(*source))) return 0;
  vt::RefPtr<vt::ImageReader> reader = vt::CreateJpegReader(source.get(), &kRecord);
  if (!reader || vt::Failed(reader->Open())) return 0;
  if (uint64_t{reader->Width()} * reader->Height() > kPixelCap) return 0;

  for (bool reduced : {false, true}) {
    vt::RefPtr<vt::ImageBuffer> image;
    if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &image, false, reduced))) {
      reader->DecodeInto(image.get(), false, nullptr, nullptr);
      Touch(image.get());
    }
  }

  vt::CancelFlag cancel;
  vt::RefPtr<vt::ProgressSink> sink;
  if (data[size - 1] & 1) sink = vt::MakeRef<CancelHalfway>(&cancel);
  vt::RefPtr<vt::ImageBuffer> display;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &display, true, false)))
    reader->DecodeInto(display.get(), false, sink.get(), &cancel);
  return 0;
}
