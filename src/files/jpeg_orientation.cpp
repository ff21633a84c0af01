#include "files/jpeg_orientation.h"

#include <cstring>
#include <string>

#include "base/file_mapping.h"
#include "base/file_write.h"
#include "render/orientation.h"

namespace vt {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

uint16_t Get16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}
uint32_t Get32(const uint8_t* p, bool bigEndian) {
  return bigEndian ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                   : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// The tag in a TIFF structure of length bytes at tiff (offsets relative to it).
std::optional<JpegOrientationTag> FindInTiff(const uint8_t* tiff, size_t length, size_t base) {
  if (length < 8) return std::nullopt;
  bool bigEndian;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    bigEndian = false;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    bigEndian = true;
  else
    return std::nullopt;
  if (Get16(tiff + 2, bigEndian) != 42) return std::nullopt;
  const uint32_t ifd = Get32(tiff + 4, bigEndian);
  if (ifd < 8 || ifd > length || length - ifd < 2) return std::nullopt;
  const uint32_t count = Get16(tiff + ifd, bigEndian);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = size_t{ifd} + 2 + size_t{i} * 12;
    if (entry + 12 > length) break;
    if (Get16(tiff + entry, bigEndian) != kOrientationTag) continue;
    if (Get16(tiff + entry + 2, bigEndian) != kShortType || Get32(tiff + entry + 4, bigEndian) != 1)
      return std::nullopt;
    return JpegOrientationTag{base + entry + 8, bigEndian, Get16(tiff + entry + 8, bigEndian)};
  }
  return std::nullopt;
}

}  // namespace

std::optional<JpegOrientationTag> FindJpegOrientationTag(std::span<const uint8_t> file) {
  const uint8_t* d = file.data();
  const size_t size = file.size();
  if (size < 4 || d[0] != 0xFF || d[1] != 0xD8) return std::nullopt;
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (d[pos] != 0xFF) return std::nullopt;
    const uint8_t marker = d[pos + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++pos;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // the scan: metadata comes before it
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    const size_t length = size_t{d[pos + 2]} << 8 | d[pos + 3];
    if (length < 2 || length > size - pos - 2) return std::nullopt;
    if (marker == 0xE1 && length >= 8 && std::memcmp(d + pos + 4, "Exif\0\0", 6) == 0)
      return FindInTiff(d + pos + 10, length - 8, pos + 10);
    pos += 2 + length;
  }
  return std::nullopt;
}

uint16_t ExifOrientationOfCode(uint8_t code) {
  uint32_t turns = code & kQuarterTurnBits;
  bool vertical = (code & kVerticalMirror) != 0;
  // A horizontal mirror is a vertical one after a half turn.
  if (code & kHorizontalMirror) {
    turns = (turns + 2) & kQuarterTurnBits;
    vertical = !vertical;
  }
  // Indexed by quarter turns counter-clockwise; the EXIF values read the
  // other way round (6 is the clockwise quarter turn that shows it upright).
  static constexpr uint16_t kPlain[4] = {1, 8, 3, 6};
  static constexpr uint16_t kMirrored[4] = {4, 5, 2, 7};
  return vertical ? kMirrored[turns] : kPlain[turns];
}

Status SaveJpegOrientation(const std::u16string& path, uint8_t code, bool keepTime) {
  std::string bytes;
  if (const Status read = ReadWholeFile(path, &bytes); Failed(read)) return read;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const std::optional<JpegOrientationTag> tag = FindJpegOrientationTag({data, bytes.size()});
  if (!tag) return status::kUnsupportedSubformat;
  const uint16_t value = ExifOrientationOfCode(code);
  if (tag->value == value) return status::kNothingDone;
  bytes[tag->offset] = static_cast<char>(tag->bigEndian ? value >> 8 : value & 0xFF);
  bytes[tag->offset + 1] = static_cast<char>(tag->bigEndian ? value & 0xFF : value >> 8);
  return ReplaceFileContents(path, {data, bytes.size()}, keepTime);
}

}  // namespace vt
