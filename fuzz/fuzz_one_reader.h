#pragma once
// The bodies the fuzz targets share.
//
// One reader alone on arbitrary bytes: probe and open, then decode the chain
// of frames, each frame by itself, the reduced size where there is one, and
// the first frame into a display buffer with a progress sink that cancels
// half-way when the last byte is odd. Every output byte is read afterwards, so
// a sanitizer sees any left uninitialised. Images above a pixel cap and frames
// past a frame cap are skipped before their planes are allocated: the fuzzer
// explores the parser, not the allocator.
//
// One metadata parser on arbitrary bytes: every slot is read back while the
// input is alive, so borrowed texts that point outside it or carry bad lengths
// show up; a prefilled slot makes the fill-only-empty-slots rules run both ways.
#include <cstdint>
#include <span>
#include <string>

#include "image/format_registry.h"
#include "image/image_properties.h"

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

inline volatile uint32_t g_sum;

inline void Decode(ImageReader* reader, bool allFrames, bool display, bool reduced,
                   ProgressSink* progress = nullptr, const CancelFlag* cancel = nullptr) {
  RefPtr<ImageBuffer> image;
  if (Failed(MakeTargetBuffer(reader, &image, display, reduced))) return;
  reader->DecodeInto(image.get(), allFrames, progress, cancel);
  uint32_t sum = 0;
  for (ImageBuffer* f = image.get(); f; f = f->Next())
    for (uint32_t y = 0; y < f->Height(); ++y)
      for (size_t i = 0; i < size_t{f->Width()} * f->BytesPerPixel(); ++i) sum += f->Row(y)[i];
  g_sum = sum;
}

inline int FuzzOneReader(const uint8_t* data, size_t size, const FormatRecord& record) {
  if (size == 0) return 0;
  auto source = MakeMemorySource(u"input." + std::u16string(record.extension),
                                 std::string(reinterpret_cast<const char*>(data), size));
  if (Failed(record.probe(*source))) return 0;
  RefPtr<ImageReader> reader = record.create(source.get(), &record);
  if (!reader || Failed(reader->Open())) return 0;
  uint64_t pixels = 0;
  int frames = 0;
  for (ImageReader* r = reader.get(); r && frames < kFrameCap; r = r->NextReader(), ++frames)
    pixels += uint64_t{r->Width()} * r->Height();
  if (pixels > kPixelCap) return 0;
  Decode(reader.get(), frames < kFrameCap, false, false);
  frames = 0;
  for (ImageReader* r = reader->NextReader(); r && ++frames < kFrameCap; r = r->NextReader())
    Decode(r, false, false, false);
  if (reader->HasReducedSize()) Decode(reader.get(), false, false, true);
  CancelFlag cancel;
  RefPtr<ProgressSink> sink;
  if (data[size - 1] & 1) sink = MakeRef<CancelHalfway>(&cancel);
  Decode(reader.get(), false, true, false, sink.get(), &cancel);
  return 0;
}

inline int FuzzProperties(const uint8_t* data, size_t size,
                          void (*read)(ImageProperties&, std::span<const uint8_t>)) {
  ImageProperties properties;
  properties.Set(PropertyId::Manufacturer, u"preset");
  read(properties, std::span<const uint8_t>(data, size));
  for (int i = 0; i < kPropertyCount; ++i) properties.Get(static_cast<PropertyId>(i));
  return 0;
}

}  // namespace vt::fuzz
