#pragma once
// XMP packets (XMP Specification Part 1 and 3): the Dublin Core, XMP basic,
// TIFF and EXIF schema properties that the property page shows.
#include <cstdint>
#include <span>

#include "image/image_properties.h"

namespace vt {

// Reads an XMP packet in UTF-8 or UTF-16LE. Its values replace what the slots
// held, except the pixel density, which is only filled when empty. A packet
// that is short, in another encoding or malformed gives what was read up to
// the point where it stopped making sense. Plain values are stored borrowed,
// pointing into packet; values with character references are converted.
void ReadXmpPacket(ImageProperties& properties, std::span<const uint8_t> packet);

}  // namespace vt
