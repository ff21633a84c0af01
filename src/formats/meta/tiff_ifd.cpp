#include "formats/meta/tiff_ifd.h"

#include <algorithm>

namespace vt {

namespace {
constexpr size_t kEntrySize = 12;
}  // namespace

uint32_t TiffTypeSize(uint16_t type) {
  switch (static_cast<TiffType>(type)) {
    case TiffType::Byte:
    case TiffType::Ascii:
    case TiffType::SByte:
    case TiffType::Undefined:
      return 1;
    case TiffType::Short:
    case TiffType::SShort:
      return 2;
    case TiffType::Long:
    case TiffType::SLong:
    case TiffType::Float:
      return 4;
    case TiffType::Rational:
    case TiffType::SRational:
    case TiffType::Double:
      return 8;
  }
  return 0;
}

IfdWalker::IfdWalker(const ByteCursor& tiff, bool bigEndian, uint32_t ifdOffset)
    : data_(tiff.Sub(0, tiff.Size())), bigEndian_(bigEndian) {
  if (!data_.Seek(ifdOffset)) return;
  count_ = data_.U16(bigEndian_);
  if (!data_.Ok()) {
    count_ = 0;
    return;
  }
  first_ = data_.Position();
  valid_ = true;
}

bool IfdWalker::Next(IfdEntry* entry) {
  if (index_ >= count_) return false;
  const size_t pos = first_ + size_t{index_} * kEntrySize;
  ByteCursor e = data_.Sub(pos, kEntrySize);
  if (!e.Ok()) {
    cut_ = true;  // the rest of the directory is outside the data
    index_ = count_;
    return false;
  }
  entry->tag = e.U16(bigEndian_);
  entry->type = e.U16(bigEndian_);
  entry->count = e.U32(bigEndian_);
  entry->fieldPosition = pos + 8;
  entry->field = e.U32(bigEndian_);
  ++index_;
  return true;
}

uint32_t IfdWalker::NextIfdOffset() const {
  if (!valid_ || cut_) return 0;
  ByteCursor c = data_.Sub(first_ + size_t{count_} * kEntrySize, 4);
  return c.Ok() ? c.U32(bigEndian_) : 0;
}

ByteCursor IfdValue(const ByteCursor& tiff, const IfdEntry& entry) {
  const uint64_t size = uint64_t{TiffTypeSize(entry.type)} * entry.count;
  // An offset past the end yields the failed cursor.
  if (size == 0 || size > tiff.Size()) return tiff.Sub(tiff.Size() + 1, 0);
  if (size <= 4) return tiff.Sub(entry.fieldPosition, static_cast<size_t>(size));
  return tiff.Sub(entry.field, static_cast<size_t>(size));
}

bool IfdShort(const ByteCursor& tiff, bool bigEndian, const IfdEntry& entry, uint32_t index,
              uint16_t* value) {
  if (!entry.Is(TiffType::Short) || index >= entry.count) return false;
  ByteCursor v = IfdValue(tiff, entry);
  if (!v.Skip(size_t{index} * 2)) return false;
  *value = v.U16(bigEndian);
  return v.Ok();
}

bool IfdLong(const ByteCursor& tiff, bool bigEndian, const IfdEntry& entry, uint32_t* value) {
  if (entry.count == 0) return false;
  if (entry.Is(TiffType::Long)) {
    ByteCursor v = IfdValue(tiff, entry);
    *value = v.U32(bigEndian);
    return v.Ok();
  }
  // Some writers store directory offsets as SHORT or the IFD type (13).
  if (entry.type == 13) {
    *value = entry.field;
    return true;
  }
  uint16_t s;
  if (!IfdShort(tiff, bigEndian, entry, 0, &s)) return false;
  *value = s;
  return true;
}

bool IfdRational(const ByteCursor& tiff, bool bigEndian, const IfdEntry& entry, uint32_t index,
                 uint32_t* numerator, uint32_t* denominator) {
  if (!(entry.Is(TiffType::Rational) || entry.Is(TiffType::SRational)) || index >= entry.count)
    return false;
  ByteCursor v = IfdValue(tiff, entry);
  if (!v.Skip(size_t{index} * 8)) return false;
  *numerator = v.U32(bigEndian);
  *denominator = v.U32(bigEndian);
  return v.Ok();
}

bool IfdVisitSet::Visit(uint32_t offset) {
  if (offset == 0 || seen_.size() >= limit_) return false;
  if (std::find(seen_.begin(), seen_.end(), offset) != seen_.end()) return false;
  seen_.push_back(offset);
  return true;
}

bool ReadTiffHeader(const ByteCursor& data, bool* bigEndian, uint32_t* ifd0Offset) {
  ByteCursor c = data.Sub(0, data.Size());
  const uint8_t b0 = c.U8(), b1 = c.U8();
  bool be;
  if (b0 == 'I' && b1 == 'I') {
    be = false;
  } else if (b0 == 'M' && b1 == 'M') {
    be = true;
  } else {
    return false;
  }
  const uint16_t magic = c.U16(be);
  const uint32_t offset = c.U32(be);
  if (!c.Ok() || magic != 42) return false;
  *bigEndian = be;
  *ifd0Offset = offset;
  return true;
}

}  // namespace vt
