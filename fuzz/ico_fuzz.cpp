// Arbitrary bytes through the reader of Windows icons and cursors alone: probe, open, decode
// into a memory buffer and into a display buffer, with a progress sink that
// cancels half-way on some inputs. Images above a pixel cap are skipped
// before their planes are allocated.
#include <cstdint>
#include <string>

#include "formats/ico/ico_reader.h"
#include "image/format_registry.h"

namespace {
constexpr uint64_t kPixelCap = uint64_t{1} << 22;

const vt::FormatRecord kRecord{u"ico", u"Windows 图标", vt::ProbeIco, vt::CreateIcoReader};

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
  auto source = vt::MakeMemorySource(u"input.ico",
                                     std::string(reinterpret_cast<const char*>(data), size));
  if (vt::Failed(vt::ProbeIco(*source))) return 0;
  vt::RefPtr<vt::ImageReader> reader = vt::CreateIcoReader(source.get(), &kRecord);
  if (!reader || vt::Failed(reader->Open())) return 0;
  if (uint64_t{reader->Width()} * reader->Height() > kPixelCap) return 0;

  vt::RefPtr<vt::ImageBuffer> image;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &image, false, false)))
    reader->DecodeInto(image.get(), false, nullptr, nullptr);

  // The last byte picks a second run: a display buffer, cancelled half-way or not.
  vt::CancelFlag cancel;
  vt::RefPtr<vt::ProgressSink> sink;
  if (data[size - 1] & 1) sink = vt::MakeRef<CancelHalfway>(&cancel);
  vt::RefPtr<vt::ImageBuffer> display;
  if (vt::Succeeded(vt::MakeTargetBuffer(reader.get(), &display, true, false)))
    reader->DecodeInto(display.get(), false, sink.get(), &cancel);
  return 0;
}
