#pragma once
// Image-resource blocks ("8BIM" resources) as PSD files carry them in their
// image-resource section and JPEG files in APP13.
#include <cstdint>
#include <functional>
#include <span>

#include "image/image_properties.h"

namespace vt {

inline constexpr uint16_t kResourceIptc = 0x0404;
inline constexpr uint16_t kResourceExif = 0x0422;
inline constexpr uint16_t kResourceXmp = 0x0424;
// Larger resources are taken as damage rather than data.
inline constexpr uint32_t kMaxResourceSize = 104857600;

struct ImageResource {
  uint32_t signature = 0;  // the four signature bytes, big-endian
  uint16_t id = 0;
  std::span<const uint8_t> name;  // without its length byte and padding
  std::span<const uint8_t> data;
};

inline constexpr uint32_t kSignature8BIM = 0x3842494D;

// Calls visit for each resource in order. Stops when fewer than 11 bytes
// remain, at a resource that does not fit, or at one larger than
// kMaxResourceSize. A JPEG APP13 payload may begin "Photoshop 3.0" and a zero
// byte; that heading is skipped.
void WalkImageResources(std::span<const uint8_t> section,
                        const std::function<void(const ImageResource&)>& visit);

// Reads the metadata resources: of the "8BIM" resources the last EXIF, IPTC
// and XMP ones, read in that order (so XMP values replace IPTC ones, and IPTC
// only fills what EXIF left empty). Values may point into section.
void ReadImageResources(ImageProperties& properties, std::span<const uint8_t> section);

}  // namespace vt
