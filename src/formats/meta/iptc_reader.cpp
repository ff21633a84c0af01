#include "formats/meta/iptc_reader.h"

#include <optional>

#include "base/byte_cursor.h"

namespace vt {

namespace {

constexpr uint8_t kTagMarker = 0x1C;
constexpr size_t kHeaderSize = 5;
constexpr uint8_t kEnvelopeRecord = 1;
constexpr uint8_t kApplicationRecord = 2;
constexpr uint8_t kCodedCharacterSet = 90;
constexpr uint8_t kKeywords = 25;

std::optional<PropertyId> PropertyForDataset(uint8_t dataset) {
  switch (dataset) {
    case 5: return PropertyId::Title;
    case kKeywords: return PropertyId::Keyword1;
    case 55: return PropertyId::CreationDate;
    case 80: return PropertyId::Author;
    case 115: return PropertyId::Source;
    case 116: return PropertyId::Rights;
    case 120: return PropertyId::Comment;
    default: return std::nullopt;
  }
}

// The envelope's coded character set "ESC % G" declares UTF-8 values; without
// it they are 8-bit text.
bool DeclaresUtf8(std::span<const uint8_t> data) {
  return data.size() == 3 && data[0] == 0x1B && data[1] == '%' && data[2] == 'G';
}

}  // namespace

void ReadIptcRecords(ImageProperties& properties, std::span<const uint8_t> block) {
  constexpr int kFirstKeyword = static_cast<int>(PropertyId::Keyword1);
  constexpr int kLastKeyword = static_cast<int>(PropertyId::Keyword9);
  bool keywordsFree = true;
  for (int k = kFirstKeyword; k <= kLastKeyword; ++k)
    keywordsFree = keywordsFree && !properties.Has(static_cast<PropertyId>(k));
  int nextKeyword = kFirstKeyword;
  TextEncoding encoding = TextEncoding::Bytes8;

  ByteCursor c(block);
  while (c.Remaining() >= kHeaderSize) {
    if (c.U8() != kTagMarker) return;
    const uint8_t record = c.U8();
    const uint8_t dataset = c.U8();
    uint32_t length = c.U16BE();
    if (length & 0x8000) {
      // An extended dataset: the low bits count the bytes of the real length.
      // Such datasets hold binary data, never the texts read here.
      const uint32_t lengthBytes = length & 0x7FFF;
      if (lengthBytes == 0 || lengthBytes > 4) return;
      length = 0;
      for (uint32_t k = 0; k < lengthBytes; ++k) length = length << 8 | c.U8();
      if (!c.Ok() || !c.Skip(length)) return;
      continue;
    }
    const std::span<const uint8_t> data = c.Bytes(length);
    if (!c.Ok()) return;
    if (record == kEnvelopeRecord && dataset == kCodedCharacterSet) {
      encoding = DeclaresUtf8(data) ? TextEncoding::Utf8 : TextEncoding::Bytes8;
      continue;
    }
    // A value starting with a zero byte is empty or binary.
    if (record != kApplicationRecord || data.empty() || data[0] == 0) continue;
    std::optional<PropertyId> id = PropertyForDataset(dataset);
    if (!id) continue;
    if (dataset == kKeywords) {
      if (!keywordsFree) continue;
      while (nextKeyword <= kLastKeyword && properties.Has(static_cast<PropertyId>(nextKeyword)))
        ++nextKeyword;
      if (nextKeyword > kLastKeyword) continue;
      id = static_cast<PropertyId>(nextKeyword);
    }
    if (properties.Has(*id)) continue;
    properties.SetRaw(*id, data.data(), static_cast<int32_t>(data.size()), encoding);
  }
}

}  // namespace vt
