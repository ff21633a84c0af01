#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/status.h"

namespace vt {

// Where a JPEG file keeps the value of its EXIF orientation tag: the first
// "Exif" APP1 segment before the scan, its first IFD, a tag 0x0112 of one
// SHORT. The value is two bytes at offset in the file, in the block's byte order.
struct JpegOrientationTag {
  size_t offset = 0;
  bool bigEndian = false;
  uint16_t value = 0;
};
// Nothing when the bytes are not a JPEG file or it carries no such tag; every
// length in the file is checked against the bytes there are.
std::optional<JpegOrientationTag> FindJpegOrientationTag(std::span<const uint8_t> file);

// The EXIF orientation value (1..8) that makes a reader show the image as a
// view with orientation code shows it (both mirrors are a half turn).
uint16_t ExifOrientationOfCode(uint8_t code);

// Rewrites the orientation tag of the JPEG file at path so that it shows as
// code does; no pixel is encoded again. The new file replaces the old one by
// rename from a temporary file in the same folder, so a failure leaves the
// original untouched. keepTime keeps the file's last-write time.
// kUnsupportedSubformat when the file has no orientation tag to rewrite,
// kNothingDone when it already holds that value.
Status SaveJpegOrientation(const std::u16string& path, uint8_t code, bool keepTime);

}  // namespace vt
