#pragma once
// Helpers for the metadata tests: test files, the metadata segments of JPEG and
// PSD containers, a builder for TIFF-structured blobs, and slot texts.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "image/image_properties.h"
#include "support/test_support.h"

namespace vt::test {

using Bytes = std::vector<uint8_t>;

inline Bytes MetaFile(const std::string& name) {
  const std::string s = ReadFileBytes(std::string(VT_SOURCE_DIR) + "/tests/data/meta/" + name);
  return Bytes(s.begin(), s.end());
}

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The payload of every JPEG segment with the given marker whose payload starts
// with prefix, the prefix removed (markers up to the start of scan).
inline std::vector<Bytes> JpegSegments(const Bytes& jpeg, uint8_t marker, const std::string& prefix) {
  std::vector<Bytes> out;
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    const uint8_t m = jpeg[i + 1];
    const size_t len = size_t{jpeg[i + 2]} << 8 | jpeg[i + 3];
    if (m == 0xDA || len < 2 || i + 2 + len > jpeg.size()) break;
    const Bytes payload(jpeg.begin() + static_cast<ptrdiff_t>(i + 4),
                        jpeg.begin() + static_cast<ptrdiff_t>(i + 2 + len));
    if (m == marker && payload.size() >= prefix.size() &&
        std::equal(prefix.begin(), prefix.end(), payload.begin()))
      out.emplace_back(payload.begin() + static_cast<ptrdiff_t>(prefix.size()), payload.end());
    i += 2 + len;
  }
  return out;
}

inline uint32_t Be32(const Bytes& b, size_t i) {
  return uint32_t{b[i]} << 24 | uint32_t{b[i + 1]} << 16 | uint32_t{b[i + 2]} << 8 | b[i + 3];
}

// The image-resource section of a PSD file.
inline Bytes PsdResources(const Bytes& psd) {
  size_t i = 26;
  i += 4 + Be32(psd, i);  // colour mode data
  const uint32_t n = Be32(psd, i);
  return Bytes(psd.begin() + static_cast<ptrdiff_t>(i + 4),
               psd.begin() + static_cast<ptrdiff_t>(i + 4 + n));
}

// A slot's text as UTF-8, "" when the slot is empty.
inline std::string Text(ImageProperties& p, PropertyId id) {
  const std::u16string* t = p.Get(id);
  return t ? Utf16ToUtf8(*t) : std::string();
}

inline PropertyId Keyword(int n) {  // 1..9
  return static_cast<PropertyId>(static_cast<int>(PropertyId::Keyword1) + n - 1);
}

// Builds TIFF-structured data: a header, then the IFDs in the order they were
// started (IFD0 first), then the values that do not fit in their entries.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : be_(bigEndian) {}

  // Starts a new IFD and returns its index; entries go to the latest one.
  int StartIfd() {
    ifds_.emplace_back();
    return static_cast<int>(ifds_.size()) - 1;
  }
  TiffBuilder& Ascii(uint16_t tag, const std::string& text) {
    Bytes v(text.begin(), text.end());
    v.push_back(0);
    return Raw(tag, 2, static_cast<uint32_t>(v.size()), v);
  }
  TiffBuilder& Short(uint16_t tag, std::vector<uint16_t> values) {
    Bytes v;
    for (uint16_t x : values) Put(&v, x, 2);
    return Raw(tag, 3, static_cast<uint32_t>(values.size()), v);
  }
  TiffBuilder& Long(uint16_t tag, uint32_t value) {
    Bytes v;
    Put(&v, value, 4);
    return Raw(tag, 4, 1, v);
  }
  TiffBuilder& Byte(uint16_t tag, uint8_t value) { return Raw(tag, 1, 1, Bytes{value}); }
  TiffBuilder& Rational(uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> values,
                        bool isSigned = false) {
    Bytes v;
    for (auto [n, d] : values) Put(&v, n, 4), Put(&v, d, 4);
    return Raw(tag, isSigned ? 10 : 5, static_cast<uint32_t>(values.size()), v);
  }
  // A LONG entry holding the offset of IFD `target`.
  TiffBuilder& Pointer(uint16_t tag, int target) {
    ifds_.back().push_back(Entry{tag, 4, 1, Bytes(4), target});
    return *this;
  }
  TiffBuilder& Raw(uint16_t tag, uint16_t type, uint32_t count, Bytes value) {
    ifds_.back().push_back(Entry{tag, type, count, std::move(value), -1});
    return *this;
  }

  Bytes Build() const {
    std::vector<uint32_t> offsets;
    uint32_t at = 8;
    for (const auto& ifd : ifds_) {
      offsets.push_back(at);
      at += 2 + 12 * static_cast<uint32_t>(ifd.size()) + 4;
    }
    Bytes out;
    out.push_back(be_ ? 'M' : 'I');
    out.push_back(be_ ? 'M' : 'I');
    Put(&out, 42, 2);
    Put(&out, ifds_.empty() ? 0 : offsets[0], 4);
    Bytes data;
    for (const auto& ifd : ifds_) {
      Put(&out, static_cast<uint32_t>(ifd.size()), 2);
      for (const Entry& e : ifd) {
        Put(&out, e.tag, 2);
        Put(&out, e.type, 2);
        Put(&out, e.count, 4);
        if (e.target >= 0) {
          Put(&out, offsets[static_cast<size_t>(e.target)], 4);
        } else if (e.value.size() <= 4) {
          Bytes v = e.value;
          v.resize(4);
          out.insert(out.end(), v.begin(), v.end());
        } else {
          Put(&out, at + static_cast<uint32_t>(data.size()), 4);
          data.insert(data.end(), e.value.begin(), e.value.end());
          if (data.size() & 1) data.push_back(0);
        }
      }
      Put(&out, 0, 4);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }

  // "Exif", two zero bytes, then the TIFF data.
  Bytes BuildExif() const {
    Bytes out = {'E', 'x', 'i', 'f', 0, 0};
    Bytes t = Build();
    out.insert(out.end(), t.begin(), t.end());
    return out;
  }

 private:
  struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    Bytes value;
    int target;
  };
  void Put(Bytes* out, uint32_t v, int n) const {
    for (int k = 0; k < n; ++k) {
      const int shift = be_ ? 8 * (n - 1 - k) : 8 * k;
      out->push_back(static_cast<uint8_t>(v >> shift));
    }
  }

  bool be_;
  std::vector<std::vector<Entry>> ifds_;
};

}  // namespace vt::test
