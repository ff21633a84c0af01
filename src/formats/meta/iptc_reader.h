#pragma once
// IPTC-IIM records (IPTC Information Interchange Model 4.2): the application
// record's title, keywords, date, by-line, source, rights and caption.
#include <cstdint>
#include <span>

#include "image/image_properties.h"

namespace vt {

// Reads a sequence of IIM datasets. Values only fill empty slots; keywords are
// added only when no keyword was set before. The walk ends at the first dataset
// that is malformed or runs past the block. Values are stored borrowed,
// pointing into block.
void ReadIptcRecords(ImageProperties& properties, std::span<const uint8_t> block);

}  // namespace vt
