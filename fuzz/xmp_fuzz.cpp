// Arbitrary bytes as XMP packets in UTF-8 or UTF-16.
// Every slot is read back while the input is alive, so borrowed texts that
// point outside it or carry bad lengths show up here.
#include <cstdint>

#include "formats/meta/xmp_reader.h"
#include "image/image_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::ImageProperties properties;
  // A prefilled slot, so the rules about filling only empty slots run both ways.
  properties.Set(vt::PropertyId::Manufacturer, u"preset");
  vt::ReadXmpPacket(properties, std::span<const uint8_t>(data, size));
  for (int i = 0; i < vt::kPropertyCount; ++i) properties.Get(static_cast<vt::PropertyId>(i));
  return 0;
}
