#pragma once
// EXIF metadata (EXIF 2.3, TIFF-structured): IFD0 texts and orientation, the
// EXIF IFD's exposure data and the GPS IFD's position.
//
// Slot rules: IFD0 fills only empty slots; the EXIF IFD replaces whatever its
// slots held (it is the camera's own record); the GPS IFD sets the geotag.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/byte_cursor.h"
#include "image/image_properties.h"

namespace vt {

inline constexpr uint16_t kTagExifIfd = 0x8769;
inline constexpr uint16_t kTagGpsIfd = 0x8825;
inline constexpr uint16_t kTagOrientation = 0x112;

// An EXIF block as embedded by JPEG (APP1), PNG (eXIf), WebP (EXIF) or PSD
// (resource 0x0422): optionally "Exif" and two zero bytes, then TIFF data.
// Anything malformed is ignored from the point where it stops making sense.
void ReadExifBlock(ImageProperties& properties, std::span<const uint8_t> block);

// The IFD walkers, for callers that hold TIFF data themselves (the TIFF reader
// passes its whole file and byte order). Offsets count from the start of tiff.
// ReadExifIfd0 also follows the EXIF and GPS IFD pointers, each at most once,
// and never follows a chain, so directories pointing at each other cannot loop.
void ReadExifIfd0(ImageProperties& properties, const ByteCursor& tiff, bool bigEndian,
                  uint32_t offset);
void ReadExifIfd(ImageProperties& properties, const ByteCursor& tiff, bool bigEndian,
                 uint32_t offset);
void ReadGpsIfd(ImageProperties& properties, const ByteCursor& tiff, bool bigEndian,
                uint32_t offset);

// The property a TIFF ASCII tag fills (document name, description, make,
// model, date, artist, copyright), or none.
std::optional<PropertyId> PropertyForTiffTextTag(uint16_t tag);

// The orientation text for a TIFF/EXIF orientation value 1..8, or an empty
// view for any other value.
std::u16string_view OrientationText(uint32_t value);

}  // namespace vt
