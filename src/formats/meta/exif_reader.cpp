#include "formats/meta/exif_reader.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "formats/meta/gps_text.h"
#include "formats/meta/tiff_ifd.h"

namespace vt {

namespace {

// Shorter blocks cannot hold a TIFF header and an entry count.
constexpr size_t kMinExifBlock = 11;

void SetAscii(ImageProperties& p, PropertyId id, const ByteCursor& tiff, const IfdEntry& e) {
  if (!e.Is(TiffType::Ascii)) return;
  ByteCursor v = IfdValue(tiff, e);
  if (!v.Ok() || v.Size() > INT32_MAX) return;
  const std::span<const uint8_t> text = v.Rest();
  p.SetRaw(id, text.data(), static_cast<int32_t>(text.size()), TextEncoding::Bytes8);
}

void SetNumber(ImageProperties& p, PropertyId id, const char* format, double value,
               const char* suffix) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  std::string text = buf;
  text += suffix;
  p.Set(id, AsciiToUtf16(text));
}

struct ExifRationalTag {
  uint16_t tag;
  TiffType type;
  PropertyId id;
  const char* suffix;
};

constexpr ExifRationalTag kRationalTags[] = {
    {0x829A, TiffType::Rational, PropertyId::ExposureTime, " s"},
    {0x829D, TiffType::Rational, PropertyId::FNumber, ""},
    {0x9201, TiffType::SRational, PropertyId::ShutterSpeed, ""},
    {0x9202, TiffType::Rational, PropertyId::Aperture, ""},
    {0x920A, TiffType::Rational, PropertyId::FocalLength, " mm"},
    {0x9204, TiffType::SRational, PropertyId::ExposureBias, ""},
};

struct ExifShortTag {
  uint16_t tag;
  PropertyId id;
};

constexpr ExifShortTag kShortTags[] = {
    {0x8827, PropertyId::IsoSpeed},
    {0x9209, PropertyId::Flash},
    {0xA402, PropertyId::ExposureMode},
    {0xA403, PropertyId::WhiteBalance},
};

constexpr uint16_t kTagDateTimeOriginal = 0x9003;

// A rational as the 32-bit float the property texts were always printed from.
// A zero denominator means "unknown" in EXIF practice; such values are skipped.
bool RationalValue(const ByteCursor& tiff, bool be, const IfdEntry& e, uint32_t index,
                   float* out) {
  uint32_t n, d;
  if (!IfdRational(tiff, be, e, index, &n, &d) || d == 0) return false;
  if (e.Is(TiffType::SRational)) {
    *out = static_cast<float>(static_cast<int32_t>(n)) / static_cast<float>(static_cast<int32_t>(d));
  } else {
    *out = static_cast<float>(n) / static_cast<float>(d);
  }
  return true;
}

// GPS parts as doubles: positions need more digits than a float carries.
double GpsRational(const ByteCursor& tiff, bool be, const IfdEntry& e, uint32_t index) {
  uint32_t n, d;
  if (!IfdRational(tiff, be, e, index, &n, &d) || d == 0) return 0.0;
  return static_cast<double>(n) / static_cast<double>(d);
}

char FirstAsciiChar(const ByteCursor& tiff, const IfdEntry& e) {
  if (!e.Is(TiffType::Ascii)) return 0;
  ByteCursor v = IfdValue(tiff, e);
  return static_cast<char>(v.U8());
}

}  // namespace

std::optional<PropertyId> PropertyForTiffTextTag(uint16_t tag) {
  switch (tag) {
    case 0x10D: return PropertyId::Title;
    case 0x10E: return PropertyId::Comment;
    case 0x10F: return PropertyId::Manufacturer;
    case 0x110: return PropertyId::Model;
    case 0x132: return PropertyId::CreationDate;
    case 0x13B: return PropertyId::Author;
    case 0x8298: return PropertyId::Rights;
    default: return std::nullopt;
  }
}

std::u16string_view OrientationText(uint32_t value) {
  static constexpr std::u16string_view kTexts[] = {
      u"Unrotated",   u"Mirrored",           u"Rotated 180",
      u"Bottom-Up",   u"Rotated 90 & Bottom-Up", u"Rotated 270",
      u"Rotated 270 & Bottom-Up", u"Rotated 90"};
  if (value < 1 || value > 8) return {};
  return kTexts[value - 1];
}

void ReadExifBlock(ImageProperties& properties, std::span<const uint8_t> block) {
  if (block.size() < kMinExifBlock) return;
  ByteCursor c(block);
  static constexpr uint8_t kExif[] = {'E', 'x', 'i', 'f'};
  if (c.StartsWith(kExif)) {
    c.Skip(4);
    if (c.PeekU8(0) == 0 && c.PeekU8(1) == 0) c.Skip(2);
  }
  const ByteCursor tiff = c.Sub(c.Position(), c.Remaining());
  bool be;
  uint32_t ifd0;
  if (!ReadTiffHeader(tiff, &be, &ifd0)) return;
  ReadExifIfd0(properties, tiff, be, ifd0);
}

void ReadExifIfd0(ImageProperties& properties, const ByteCursor& tiff, bool be, uint32_t offset) {
  uint32_t exifIfd = 0, gpsIfd = 0;
  IfdWalker walker(tiff, be, offset);
  IfdEntry e;
  while (walker.Next(&e)) {
    if (std::optional<PropertyId> id = PropertyForTiffTextTag(e.tag)) {
      if (!properties.Has(*id)) SetAscii(properties, *id, tiff, e);
    } else if (e.tag == kTagOrientation) {
      uint16_t v;
      if (e.count == 1 && !properties.Has(PropertyId::Orientation) &&
          IfdShort(tiff, be, e, 0, &v)) {
        properties.Set(PropertyId::Orientation, OrientationText(v));
      }
    } else if (e.tag == kTagExifIfd) {
      if (!exifIfd) IfdLong(tiff, be, e, &exifIfd);
    } else if (e.tag == kTagGpsIfd) {
      if (!gpsIfd) IfdLong(tiff, be, e, &gpsIfd);
    }
  }
  if (exifIfd) ReadExifIfd(properties, tiff, be, exifIfd);
  if (gpsIfd) ReadGpsIfd(properties, tiff, be, gpsIfd);
}

void ReadExifIfd(ImageProperties& properties, const ByteCursor& tiff, bool be, uint32_t offset) {
  IfdWalker walker(tiff, be, offset);
  IfdEntry e;
  while (walker.Next(&e)) {
    if (e.count == 0) continue;
    for (const ExifRationalTag& t : kRationalTags) {
      float v;
      if (t.tag == e.tag && e.Is(t.type) && RationalValue(tiff, be, e, 0, &v))
        SetNumber(properties, t.id, "%.3f", v, t.suffix);
    }
    for (const ExifShortTag& t : kShortTags) {
      uint16_t v;
      if (t.tag == e.tag && IfdShort(tiff, be, e, 0, &v)) SetNumber(properties, t.id, "%.0f", v, "");
    }
    if (e.tag == kTagDateTimeOriginal && e.Is(TiffType::Ascii) && e.count > 4) {
      ByteCursor v = IfdValue(tiff, e);
      if (v.Ok() && v.PeekU8() != 0) SetAscii(properties, PropertyId::CreationDate, tiff, e);
    }
  }
}

void ReadGpsIfd(ImageProperties& properties, const ByteCursor& tiff, bool be, uint32_t offset) {
  char latRef = 0, lonRef = 0;
  bool below = false;
  double lat[3] = {0, 0, 0}, lon[3] = {0, 0, 0}, altitude = 0;
  IfdWalker walker(tiff, be, offset);
  IfdEntry e;
  while (walker.Next(&e)) {
    switch (e.tag) {
      case 1: latRef = FirstAsciiChar(tiff, e); break;
      case 3: lonRef = FirstAsciiChar(tiff, e); break;
      case 5:
        if (e.Is(TiffType::Byte)) below = IfdValue(tiff, e).U8() != 0;
        break;
      case 2:
      case 4:
        if (e.Is(TiffType::Rational) && e.count >= 3) {
          double* parts = e.tag == 2 ? lat : lon;
          for (uint32_t i = 0; i < 3; ++i) parts[i] = GpsRational(tiff, be, e, i);
        }
        break;
      case 6:
        if (e.Is(TiffType::Rational)) altitude = GpsRational(tiff, be, e, 0);
        break;
      default: break;
    }
  }
  if (altitude == 0 && lat[0] == 0 && lat[1] == 0 && lat[2] == 0 && lon[0] == 0 && lon[1] == 0 &&
      lon[2] == 0)
    return;
  std::string text = FormatGpsCoordinate(lat[0], lat[1], lat[2], latRef);
  text += ", ";
  text += FormatGpsCoordinate(lon[0], lon[1], lon[2], lonRef);
  text += ", ";
  text += FormatGpsAltitude(altitude, below);
  properties.Set(PropertyId::GpsGeotag, Utf8ToUtf16(text));
}

}  // namespace vt
