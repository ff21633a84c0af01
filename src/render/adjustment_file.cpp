#include "render/adjustment_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/byte_cursor.h"
#include "base/file_mapping.h"
#include "base/file_write.h"
#include "render/orientation.h"
#include "render/view_state.h"

namespace vt {

namespace {

constexpr uint32_t FourCc(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

constexpr uint32_t kRiff = FourCc("RIFF"), kForm = FourCc("VTIA"), kChunk = FourCc("LADJ");
constexpr uint32_t kInvert = FourCc("CINV"), kSharpness = FourCc("ISHA"), kOrientation = FourCc("IROT");
// The colour keys in ColourField order.
constexpr uint32_t kColourKeys[kColourFieldCount] = {
    FourCc("CCTR"), FourCc("CBRI"), FourCc("CHUE"), FourCc("CSAT"), FourCc("CLUM"),
    FourCc("CRED"), FourCc("CGRN"), FourCc("CBLU"), FourCc("CGAM")};

void ReadEntry(uint32_t key, float value, AdjustmentRecord* record) {
  if (!std::isfinite(value)) return;
  for (int i = 0; i < kColourFieldCount; ++i) {
    if (key != kColourKeys[i]) continue;
    const ColourField f = static_cast<ColourField>(i);
    const FieldRange r = ColourFieldRange(f);
    record->colour.Set(f, std::clamp(value, r.low, r.high));
    return;
  }
  if (key == kInvert) {
    record->colour.invert = value >= 0.5f;
  } else if (key == kSharpness) {
    record->sharpness = std::clamp(value, kSharpnessRange.low, kSharpnessRange.high);
  } else if (key == kOrientation) {
    const float code = std::nearbyint(value);
    if (code >= 0 && code <= kOrientationBits) record->orientation = static_cast<uint8_t>(code);
  }
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

FieldRange ColourFieldRange(ColourField f) {
  switch (f) {
    case ColourField::kContrast: return {-0.5f, 1.0f};
    case ColourField::kBrightness: return {-1.0f, 2.0f};
    case ColourField::kHue: return {-0.5f, 0.5f};
    case ColourField::kSaturation: return {-1.0f, 1.0f};
    case ColourField::kGamma: return {0.0f, 2.0f};
    default: return {-0.5f, 1.0f};  // lightness and the biases
  }
}

std::u16string AdjustmentFilePath(const std::u16string& imagePath) { return imagePath + u".vta"; }

bool ParseAdjustmentFile(std::span<const uint8_t> bytes, AdjustmentRecord* record) {
  ByteCursor c(bytes);
  if (bytes.size() < 12 || c.U32LE() != kRiff) return false;
  const uint64_t end = std::min<uint64_t>(uint64_t{c.U32LE()} + 8, bytes.size());
  if (c.U32LE() != kForm || end < 20) return false;
  bool used = false;
  for (uint64_t at = 12; at + 8 <= end;) {
    c.Seek(static_cast<size_t>(at));
    const uint32_t id = c.U32LE();
    const uint32_t size = c.U32LE();
    const uint64_t data = at + 8;
    if (id == kChunk) {
      const uint64_t entries = std::min<uint64_t>(size, end - data) / 8;
      for (uint64_t i = 0; i < entries; ++i) {
        const uint32_t key = c.U32LE();
        ReadEntry(key, std::bit_cast<float>(c.U32LE()), record);
      }
      used = used || entries > 0;
    }
    at = data + size;
  }
  return used;
}

std::vector<uint8_t> AdjustmentFileBytes(const AdjustmentRecord& record, uint8_t imageOrientation) {
  std::vector<uint8_t> entries;
  const auto entry = [&entries](uint32_t key, float value) {
    PutU32(entries, key);
    PutU32(entries, std::bit_cast<uint32_t>(value));
  };
  for (int i = 0; i < kColourFieldCount; ++i) {
    const ColourField f = static_cast<ColourField>(i);
    if (record.colour.Get(f) != ColourSettings::Default(f)) entry(kColourKeys[i], record.colour.Get(f));
  }
  if (record.colour.invert) entry(kInvert, 1.0f);
  if (record.sharpness != 0) entry(kSharpness, record.sharpness);
  if (record.orientation != imageOrientation) entry(kOrientation, float(record.orientation));
  if (entries.empty()) return {};
  std::vector<uint8_t> out;
  out.reserve(20 + entries.size());
  PutU32(out, kRiff);
  PutU32(out, static_cast<uint32_t>(12 + entries.size()));
  PutU32(out, kForm);
  PutU32(out, kChunk);
  PutU32(out, static_cast<uint32_t>(entries.size()));
  out.insert(out.end(), entries.begin(), entries.end());
  return out;
}

bool LoadAdjustmentFile(const std::u16string& imagePath, AdjustmentRecord* record) {
  std::unique_ptr<MappedFile> file;
  if (Failed(MappedFile::Open(AdjustmentFilePath(imagePath), &file))) return false;
  return ParseAdjustmentFile(file->Bytes(), record);
}

Status SaveAdjustmentFile(const std::u16string& imagePath, const AdjustmentRecord& record,
                          uint8_t imageOrientation) {
  const std::vector<uint8_t> bytes = AdjustmentFileBytes(record, imageOrientation);
  const std::u16string path = AdjustmentFilePath(imagePath);
  if (bytes.empty()) return RemoveFile(path) ? status::kOk : status::kCannotWriteFile;
  return ReplaceFileContents(path, bytes);
}

bool LoadAdjustments(ViewState& view, const std::u16string& imagePath) {
  view.ResetAdjustments(true);
  if (imagePath.empty() || imagePath[0] == u'<') return false;
  AdjustmentRecord record = view.Adjustments();
  if (!LoadAdjustmentFile(imagePath, &record)) return false;
  view.SetAdjustments(record);
  return true;
}

Status SaveAdjustments(const ViewState& view, const std::u16string& imagePath) {
  if (imagePath.empty() || imagePath[0] == u'<') return status::kInvalidArgument;
  return SaveAdjustmentFile(imagePath, view.Adjustments(), view.ImageOrientationCode());
}

}  // namespace vt
