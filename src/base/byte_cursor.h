#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vt {

// Bounds-checked reader over untrusted bytes. Every read either succeeds wholly or
// fails and marks the cursor; a failed read yields zero and leaves the position
// where it was, so a parser can read a group of fields and test Ok() once.
// Raw pointer arithmetic on file data belongs here and in the bit readers only.
class ByteCursor {
 public:
  ByteCursor() = default;
  explicit ByteCursor(std::span<const uint8_t> data) : data_(data) {}
  ByteCursor(const uint8_t* data, size_t size) : data_(data, size) {}

  size_t Size() const { return data_.size(); }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }
  bool Ok() const { return ok_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::span<const uint8_t> Data() const { return data_; }
  // Clears the failure mark, for parsers that stop at the first bad block but
  // keep what came before.
  void ClearError() { ok_ = true; }

  bool Seek(uint64_t pos) {
    if (pos > data_.size()) return Fail();
    pos_ = static_cast<size_t>(pos);
    return true;
  }
  bool Skip(uint64_t n) {
    if (n > Remaining()) return Fail();
    pos_ += static_cast<size_t>(n);
    return true;
  }
  bool Has(uint64_t n) const { return n <= Remaining(); }
  // Moves to the next byte of this value, or to the end when none follows.
  void SkipTo(uint8_t value) {
    if (AtEnd()) return;
    const void* found = std::memchr(data_.data() + pos_, value, Remaining());
    pos_ = found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - data_.data())
                 : data_.size();
  }

  uint8_t U8() { return Read<1>() ? cur_[0] : 0; }
  uint16_t U16LE() { return Read<2>() ? static_cast<uint16_t>(cur_[0] | cur_[1] << 8) : 0; }
  uint16_t U16BE() { return Read<2>() ? static_cast<uint16_t>(cur_[1] | cur_[0] << 8) : 0; }
  uint32_t U32LE() {
    return Read<4>() ? (uint32_t{cur_[0]} | uint32_t{cur_[1]} << 8 | uint32_t{cur_[2]} << 16 |
                        uint32_t{cur_[3]} << 24)
                     : 0;
  }
  uint32_t U32BE() {
    return Read<4>() ? (uint32_t{cur_[3]} | uint32_t{cur_[2]} << 8 | uint32_t{cur_[1]} << 16 |
                        uint32_t{cur_[0]} << 24)
                     : 0;
  }
  uint64_t U64LE() {
    uint64_t lo = U32LE();
    uint64_t hi = U32LE();
    return ok_ ? lo | hi << 32 : 0;
  }
  uint64_t U64BE() {
    uint64_t hi = U32BE();
    uint64_t lo = U32BE();
    return ok_ ? lo | hi << 32 : 0;
  }
  int16_t I16LE() { return static_cast<int16_t>(U16LE()); }
  int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
  int16_t I16BE() { return static_cast<int16_t>(U16BE()); }
  int32_t I32BE() { return static_cast<int32_t>(U32BE()); }
  uint16_t U16(bool bigEndian) { return bigEndian ? U16BE() : U16LE(); }
  uint32_t U32(bool bigEndian) { return bigEndian ? U32BE() : U32LE(); }

  // The next n bytes as a span, advancing past them; an empty span on failure.
  std::span<const uint8_t> Bytes(uint64_t n) {
    if (n > Remaining()) {
      Fail();
      return {};
    }
    std::span<const uint8_t> s = data_.subspan(pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return s;
  }
  // Up to n bytes from the position, as many as there are, advancing past
  // them. Never fails: data cut short give the part that is there.
  std::span<const uint8_t> BytesUpTo(uint64_t n) {
    const size_t k = n < Remaining() ? static_cast<size_t>(n) : Remaining();
    std::span<const uint8_t> s = data_.subspan(pos_, k);
    pos_ += k;
    return s;
  }
  // Everything from the position on, advancing to the end.
  std::span<const uint8_t> Rest() { return BytesUpTo(Remaining()); }
  // The row of up to n bytes at offset, clipped to the bytes present (empty
  // when offset lies at or past the end); the size of the span says how many
  // arrived. Does not move and never fails, so that the rows of a truncated
  // file decode as far as their data go.
  std::span<const uint8_t> RowAt(uint64_t offset, uint64_t n) const {
    if (offset >= data_.size()) return {};
    const uint64_t have = data_.size() - offset;
    return data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(n < have ? n : have));
  }
  bool CopyTo(void* out, size_t n) {
    std::span<const uint8_t> s = Bytes(n);
    if (s.size() != n) return false;
    if (n) std::memcpy(out, s.data(), n);
    return true;
  }
  // Looks without moving.
  uint8_t PeekU8(size_t ahead = 0) const {
    return ahead < Remaining() ? data_[pos_ + ahead] : 0;
  }
  bool StartsWith(std::span<const uint8_t> magic) const {
    return magic.size() <= Remaining() &&
           std::memcmp(data_.data() + pos_, magic.data(), magic.size()) == 0;
  }
  // A cursor over [offset, offset + n) of this cursor's data, or a failed empty one.
  ByteCursor Sub(uint64_t offset, uint64_t n) const {
    if (offset > data_.size() || n > data_.size() - offset) {
      ByteCursor bad;
      bad.ok_ = false;
      return bad;
    }
    return ByteCursor(data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(n)));
  }
  // The cursor over the rest of the data from the position (a cut chunk
  // keeps the bytes it has), without moving this one.
  ByteCursor Tail() const { return ByteCursor(data_.subspan(pos_)); }

 private:
  bool Fail() {
    ok_ = false;
    return false;
  }
  template <size_t N>
  bool Read() {
    if (N > Remaining()) return Fail();
    cur_ = data_.data() + pos_;
    pos_ += N;
    return true;
  }

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  const uint8_t* cur_ = nullptr;
  bool ok_ = true;
};

// Multiplies sizes taken from a file, refusing overflow and anything above limit.
inline bool CheckedMul(uint64_t a, uint64_t b, uint64_t limit, uint64_t* out) {
  if (a != 0 && b > limit / a) return false;
  uint64_t r = a * b;
  if (r > limit) return false;
  *out = r;
  return true;
}

}  // namespace vt
