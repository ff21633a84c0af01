#pragma once
// Walking TIFF-structured image file directories (TIFF 6.0, section 2), shared by
// the EXIF block reader and the TIFF reader. All offsets count from the start of
// the TIFF data, the byte holding "II" or "MM".
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/byte_cursor.h"

namespace vt {

enum class TiffType : uint16_t {
  Byte = 1,
  Ascii = 2,
  Short = 3,
  Long = 4,
  Rational = 5,
  SByte = 6,
  Undefined = 7,
  SShort = 8,
  SLong = 9,
  SRational = 10,
  Float = 11,
  Double = 12,
};

// Size of one value of a field type, 0 for types TIFF 6.0 does not define.
uint32_t TiffTypeSize(uint16_t type);

struct IfdEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  // Where the 4-byte value field sits in the TIFF data, and that field read as
  // a LONG in the data's byte order (the value offset when the value does not fit).
  size_t fieldPosition = 0;
  uint32_t field = 0;

  bool Is(TiffType t) const { return type == static_cast<uint16_t>(t); }
};

// Reads the entries of one IFD in order. Next() stops at the first entry that
// does not lie wholly inside the data, so a count that promises more entries
// than the data hold ends the walk early rather than failing it.
class IfdWalker {
 public:
  IfdWalker(const ByteCursor& tiff, bool bigEndian, uint32_t ifdOffset);

  bool Next(IfdEntry* entry);
  // The number of entries the IFD claims.
  uint16_t Count() const { return count_; }
  // The offset of the following IFD, read after the last entry; 0 when there is
  // none or it lies outside the data.
  uint32_t NextIfdOffset() const;

 private:
  ByteCursor data_;
  bool bigEndian_;
  size_t first_ = 0;
  uint16_t count_ = 0;
  uint16_t index_ = 0;
  bool valid_ = false;
  bool cut_ = false;
};

// The bytes of an entry's value: inside the entry when they fit in 4 bytes,
// else at the value offset. A failed, empty cursor when the value's size
// overflows or it runs outside the data.
ByteCursor IfdValue(const ByteCursor& tiff, const IfdEntry& entry);

// A single value of an entry, read in the data's byte order. A RATIONAL comes
// back as its numerator and denominator; index selects among count values.
// False when the type does not match or the value lies outside the data.
bool IfdShort(const ByteCursor& tiff, bool bigEndian, const IfdEntry& entry, uint32_t index,
              uint16_t* value);
bool IfdLong(const ByteCursor& tiff, bool bigEndian, const IfdEntry& entry, uint32_t* value);
bool IfdRational(const ByteCursor& tiff, bool bigEndian, const IfdEntry& entry, uint32_t index,
                 uint32_t* numerator, uint32_t* denominator);

// Remembers the IFDs a chain walk has visited, so that IFDs pointing back at
// each other (or at themselves) end the walk. Also caps the number of IFDs.
class IfdVisitSet {
 public:
  explicit IfdVisitSet(size_t limit = 4096) : limit_(limit) {}
  // False when offset is 0, was seen before, or the limit is reached.
  bool Visit(uint32_t offset);

 private:
  std::vector<uint32_t> seen_;
  size_t limit_;
};

// Parses a TIFF header ("II" or "MM", then 42) at the start of data. On success
// gives the byte order and the IFD0 offset.
bool ReadTiffHeader(const ByteCursor& data, bool* bigEndian, uint32_t* ifd0Offset);

}  // namespace vt
