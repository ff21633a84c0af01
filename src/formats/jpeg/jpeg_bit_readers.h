#pragma once
// The byte-level readers of JPEG entropy-coded data: the Huffman bit reader
// and the arithmetic decoder of T.81 Annex D. They take the data after a scan
// header from the stream's cursor and are the only code of the decoder that
// reads file bytes through raw pointers (eight at a time where no 0xFF lies
// among them), always below the end of the stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vt::jpeg {

class LocalBits;

// Entropy-coded bytes with stuffing removed. Raw access to the data happens
// here only, always below end. At a marker or the end of the data it supplies
// zero bits and counts them, so that the caller can tell when it decoded past
// what the stream holds.
class BitReader {
 public:
  // Starts over on the entropy-coded data that follow a scan header (or a
  // restart marker), up to the end of the stream.
  void Reset(std::span<const uint8_t> data) {
    begin_ = data.data();
    p_ = begin_;
    end_ = begin_ + data.size();
    buf_ = 0;
    bits_ = 0;
    padded_ = 0;
    stopped_ = false;
  }
  // Bytes taken from the data since Reset.
  size_t Offset() const { return static_cast<size_t>(p_ - begin_); }
  // Zero bits supplied after the data ended were consumed.
  bool Exhausted() const { return bits_ < padded_ * 8; }

  void Refill() {
    while (bits_ <= 56) {
      if (!stopped_ && end_ - p_ >= 8) {
        uint64_t w;
        std::memcpy(&w, p_, 8);
        w = __builtin_bswap64(w);
        const uint64_t nw = ~w;
        const bool anyFF = ((nw - 0x0101010101010101ull) & w & 0x8080808080808080ull) != 0;
        if (!anyFF) {
          const int n = (64 - bits_) >> 3;
          buf_ |= (w >> (64 - 8 * n)) << (64 - bits_ - 8 * n);
          p_ += n;
          bits_ += 8 * n;
          continue;
        }
      }
      buf_ |= uint64_t{NextByte()} << (56 - bits_);
      bits_ += 8;
    }
  }

 private:
  friend class LocalBits;
  // The next eight bytes as a big-endian word, when all eight are there and
  // none of them is 0xFF (so no stuffing and no marker lies among them).
  bool LoadWord(uint64_t* out) const {
    if (end_ - p_ < 8) return false;
    uint64_t w;
    std::memcpy(&w, p_, 8);
    w = __builtin_bswap64(w);
    if ((((~w) - 0x0101010101010101ull) & w & 0x8080808080808080ull) != 0) return false;
    *out = w;
    return true;
  }
  void Advance(size_t n) { p_ += n; }

  uint8_t NextByte() {
    while (!stopped_ && p_ < end_) {
      const uint8_t b = *p_;
      if (b != 0xFF) {
        ++p_;
        return b;
      }
      if (end_ - p_ < 2) break;
      const uint8_t next = p_[1];
      if (next == 0x00) {
        p_ += 2;
        return 0xFF;
      }
      if (next == 0xFF) {  // fill byte before a marker
        ++p_;
        continue;
      }
      break;
    }
    stopped_ = true;
    ++padded_;
    return 0;
  }

  const uint8_t* begin_ = nullptr;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t buf_ = 0;
  int bits_ = 0;
  int padded_ = 0;
  bool stopped_ = false;
};

// ---------------------------------------------------------------------------
// Arithmetic decoding (T.81 Annex D): the probability estimation state machine
// of Table D.2. Entry 113 is a fixed, non-adapting estimate of one half, used
// for the sign and correction bits that have no context of their own.

struct QeEntry {
  uint16_t qe;
  uint8_t nlps;
  uint8_t nmps;
  uint8_t sw;
};

constexpr QeEntry kQe[114] = {
    {0x5a1d, 1, 1, 1},     {0x2586, 14, 2, 0},    {0x1114, 16, 3, 0},    {0x080b, 18, 4, 0},
    {0x03d8, 20, 5, 0},    {0x01da, 23, 6, 0},    {0x00e5, 25, 7, 0},    {0x006f, 28, 8, 0},
    {0x0036, 30, 9, 0},    {0x001a, 33, 10, 0},   {0x000d, 35, 11, 0},   {0x0006, 9, 12, 0},
    {0x0003, 10, 13, 0},   {0x0001, 12, 13, 0},   {0x5a7f, 15, 15, 1},   {0x3f25, 36, 16, 0},
    {0x2cf2, 38, 17, 0},   {0x207c, 39, 18, 0},   {0x17b9, 40, 19, 0},   {0x1182, 42, 20, 0},
    {0x0cef, 43, 21, 0},   {0x09a1, 45, 22, 0},   {0x072f, 46, 23, 0},   {0x055c, 48, 24, 0},
    {0x0406, 49, 25, 0},   {0x0303, 51, 26, 0},   {0x0240, 52, 27, 0},   {0x01b1, 54, 28, 0},
    {0x0144, 56, 29, 0},   {0x00f5, 57, 30, 0},   {0x00b7, 59, 31, 0},   {0x008a, 60, 32, 0},
    {0x0068, 62, 33, 0},   {0x004e, 63, 34, 0},   {0x003b, 32, 35, 0},   {0x002c, 33, 9, 0},
    {0x5ae1, 37, 37, 1},   {0x484c, 64, 38, 0},   {0x3a0d, 65, 39, 0},   {0x2ef1, 67, 40, 0},
    {0x261f, 68, 41, 0},   {0x1f33, 69, 42, 0},   {0x19a8, 70, 43, 0},   {0x1518, 72, 44, 0},
    {0x1177, 73, 45, 0},   {0x0e74, 74, 46, 0},   {0x0bfb, 75, 47, 0},   {0x09f8, 77, 48, 0},
    {0x0861, 78, 49, 0},   {0x0706, 79, 50, 0},   {0x05cd, 48, 51, 0},   {0x04de, 50, 52, 0},
    {0x040f, 50, 53, 0},   {0x0363, 51, 54, 0},   {0x02d4, 52, 55, 0},   {0x025c, 53, 56, 0},
    {0x01f8, 54, 57, 0},   {0x01a4, 55, 58, 0},   {0x0160, 56, 59, 0},   {0x0125, 57, 60, 0},
    {0x00f6, 58, 61, 0},   {0x00cb, 59, 62, 0},   {0x00ab, 61, 63, 0},   {0x008f, 61, 32, 0},
    {0x5b12, 65, 65, 1},   {0x4d04, 80, 66, 0},   {0x412c, 81, 67, 0},   {0x37d8, 82, 68, 0},
    {0x2fe8, 83, 69, 0},   {0x293c, 84, 70, 0},   {0x2379, 86, 71, 0},   {0x1edf, 87, 72, 0},
    {0x1aa9, 87, 73, 0},   {0x174e, 72, 74, 0},   {0x1424, 72, 75, 0},   {0x119c, 74, 76, 0},
    {0x0f6b, 74, 77, 0},   {0x0d51, 75, 78, 0},   {0x0bb6, 77, 79, 0},   {0x0a40, 77, 48, 0},
    {0x5832, 80, 81, 1},   {0x4d1c, 88, 82, 0},   {0x438e, 89, 83, 0},   {0x3bdd, 90, 84, 0},
    {0x34ee, 91, 85, 0},   {0x2eae, 92, 86, 0},   {0x299a, 93, 87, 0},   {0x2516, 86, 71, 0},
    {0x5570, 88, 89, 1},   {0x4ca9, 95, 90, 0},   {0x44d9, 96, 91, 0},   {0x3e22, 97, 92, 0},
    {0x3824, 99, 93, 0},   {0x32b4, 99, 94, 0},   {0x2e17, 93, 86, 0},   {0x56a8, 95, 96, 1},
    {0x4f46, 101, 97, 0},  {0x47e5, 102, 98, 0},  {0x41cf, 103, 99, 0},  {0x3c3d, 104, 100, 0},
    {0x375e, 99, 93, 0},   {0x5231, 105, 102, 0}, {0x4c0f, 106, 103, 0}, {0x4639, 107, 104, 0},
    {0x415e, 103, 99, 0},  {0x5627, 105, 106, 1}, {0x50e7, 108, 107, 0}, {0x4b85, 109, 103, 0},
    {0x5597, 110, 109, 0}, {0x504f, 111, 107, 0}, {0x5a10, 110, 111, 1}, {0x5522, 112, 109, 0},
    {0x59eb, 112, 111, 1}, {0x5a1d, 113, 113, 0},
};
constexpr uint8_t kFixedHalf = 113;

// Decoder registers as in T.81 D.2: C holds the code register with Cx in its
// upper 16 bits, A the interval, CT the bits left of the last byte read.
class ArithDecoder {
 public:
  // Starts over on the entropy-coded data that follow a scan header (or a
  // restart marker), up to the end of the stream.
  void Reset(std::span<const uint8_t> data) {
    begin_ = data.data();
    p_ = begin_;
    end_ = begin_ + data.size();
    stopped_ = false;
    padded_ = 0;
    c_ = 0;
    ByteIn();
    c_ <<= 8;
    ByteIn();
    c_ <<= 8;
    ct_ = 0;
    a_ = 0x10000;
  }
  // Bytes taken from the data since Reset.
  size_t Offset() const { return static_cast<size_t>(p_ - begin_); }
  // The encoder may drop trailing zero bytes before a marker, so zeros read at
  // a marker are normal; only data that stop without a marker have ended.
  bool Exhausted() const { return stopped_ && p_ >= end_ && padded_ > 2; }

  // One binary decision with the adaptive state *st (bit 7: the more probable
  // symbol, bits 0-6: the estimate's index).
  int Decode(uint8_t* st) {
    const QeEntry& e = kQe[*st & 0x7F];
    const uint32_t qe = e.qe;
    int mps = *st >> 7;
    int d;
    a_ -= qe;
    if ((c_ >> 16) < a_) {
      if (a_ >= 0x8000) return mps;
      if (a_ < qe) {
        d = 1 - mps;
        if (e.sw) mps = 1 - mps;
        *st = static_cast<uint8_t>(mps << 7 | e.nlps);
      } else {
        d = mps;
        *st = static_cast<uint8_t>(mps << 7 | e.nmps);
      }
    } else {
      c_ -= a_ << 16;
      if (a_ < qe) {
        d = mps;
        *st = static_cast<uint8_t>(mps << 7 | e.nmps);
      } else {
        d = 1 - mps;
        if (e.sw) mps = 1 - mps;
        *st = static_cast<uint8_t>(mps << 7 | e.nlps);
      }
      a_ = qe;
    }
    do {
      if (ct_ == 0) {
        ByteIn();
        ct_ = 8;
      }
      a_ <<= 1;
      c_ <<= 1;
      --ct_;
    } while (a_ < 0x8000);
    return d;
  }

 private:
  void ByteIn() {
    uint32_t b = 0;
    if (!stopped_ && p_ < end_) {
      if (*p_ != 0xFF) {
        b = *p_++;
      } else if (end_ - p_ >= 2 && p_[1] == 0x00) {
        b = 0xFF;
        p_ += 2;
      } else {
        stopped_ = true;
      }
    } else {
      stopped_ = true;
    }
    if (stopped_) ++padded_;
    c_ += b << 8;
  }

  const uint8_t* begin_ = nullptr;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint32_t c_ = 0;
  uint32_t a_ = 0;
  int ct_ = 0;
  int padded_ = 0;
  bool stopped_ = false;
};

}  // namespace vt::jpeg
