#include "formats/meta/image_resources.h"

#include "base/byte_cursor.h"
#include "formats/meta/exif_reader.h"
#include "formats/meta/iptc_reader.h"
#include "formats/meta/xmp_reader.h"

namespace vt {

namespace {
constexpr size_t kMinResource = 11;
constexpr uint8_t kPhotoshopHeading[] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o',
                                         'p', ' ', '3', '.', '0', 0};
}  // namespace

void WalkImageResources(std::span<const uint8_t> section,
                        const std::function<void(const ImageResource&)>& visit) {
  ByteCursor c(section);
  if (c.StartsWith(kPhotoshopHeading)) c.Skip(sizeof kPhotoshopHeading);
  while (c.Remaining() >= kMinResource) {
    ImageResource r;
    r.signature = c.U32BE();
    r.id = c.U16BE();
    const uint8_t nameLength = c.U8();
    r.name = c.Bytes(nameLength);
    // The name with its length byte is padded to an even size.
    if ((nameLength & 1) == 0) c.Skip(1);
    const uint32_t size = c.U32BE();
    if (!c.Ok() || size > kMaxResourceSize) return;
    r.data = c.Bytes(size);
    if (!c.Ok()) return;
    // The data are padded to an even size too; a last resource may lack it.
    if ((size & 1) && !c.AtEnd()) c.Skip(1);
    visit(r);
  }
}

void ReadImageResources(ImageProperties& properties, std::span<const uint8_t> section) {
  std::span<const uint8_t> iptc, exif, xmp;
  WalkImageResources(section, [&](const ImageResource& r) {
    if (r.signature != kSignature8BIM) return;
    switch (r.id) {
      case kResourceIptc: iptc = r.data; break;
      case kResourceExif: exif = r.data; break;
      case kResourceXmp: xmp = r.data; break;
      default: break;
    }
  });
  if (!exif.empty()) ReadExifBlock(properties, exif);
  if (!iptc.empty()) ReadIptcRecords(properties, iptc);
  if (!xmp.empty()) ReadXmpPacket(properties, xmp);
}

}  // namespace vt
