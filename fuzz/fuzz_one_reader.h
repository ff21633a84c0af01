#pragma once
// The body shared by the per-reader fuzz targets: arbitrary bytes through one
// reader alone (probe, open, decode every frame into memory buffers, then the
// first frame into a display buffer with a progress sink that cancels half-way
// when the last byte is odd). Images above a pixel cap are skipped before their
// planes are allocated, so the fuzzer explores the parser, not the allocator.
#include <cstdint>
#include <string>

#include "image/format_registry.h"

namespace vt::fuzz {

inline constexpr uint64_t kPixelCap = uint64_t{1} << 22;
inline constexpr int kFrameCap = 64;

class CancelHalfway : public ProgressSink {
 public:
  explicit CancelHalfway(CancelFlag* flag) : flag_(flag) {}
  void Report(uint32_t done, uint32_t total) override {
    if (total && done * 2 >= total) flag_->Set();
  }

 private:
  CancelFlag* flag_;
};

inline int FuzzOneReader(const uint8_t* data, size_t size, const FormatRecord& record) {
  if (size == 0) return 0;
  std::u16string name = u"input.";
  name += record.extension;
  auto source = MakeMemorySource(name, std::string(reinterpret_cast<const char*>(data), size));
  if (Failed(record.probe(*source))) return 0;
  RefPtr<ImageReader> reader = record.create(source.get(), &record);
  if (!reader || Failed(reader->Open())) return 0;
  uint64_t pixels = 0;
  int frames = 0;
  for (ImageReader* r = reader.get(); r && frames < kFrameCap; r = r->NextReader(), ++frames)
    pixels += uint64_t{r->Width()} * r->Height();
  if (pixels > kPixelCap) return 0;

  RefPtr<ImageBuffer> image;
  if (Succeeded(MakeTargetBuffer(reader.get(), &image, false, false)))
    reader->DecodeInto(image.get(), frames < kFrameCap, nullptr, nullptr);

  CancelFlag cancel;
  RefPtr<ProgressSink> sink;
  if (data[size - 1] & 1) sink = MakeRef<CancelHalfway>(&cancel);
  RefPtr<ImageBuffer> display;
  if (Succeeded(MakeTargetBuffer(reader.get(), &display, true, false)))
    reader->DecodeInto(display.get(), false, sink.get(), &cancel);
  return 0;
}

}  // namespace vt::fuzz
