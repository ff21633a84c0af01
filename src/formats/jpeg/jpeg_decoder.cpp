// JPEG decoding after ITU-T T.81 (Annexes B, C, D, F, G) and JFIF.
//
// Damaged streams. Marker segments must be whole and well formed up to the
// frame header; bad tables or a bad frame header fail with kDamaged. Entropy
// data decode as far as they go: data that end early are followed by zero
// bits, and decoding stops after the MCU row in which the data ran out. A code
// that no Huffman table holds, or an arithmetic-coded value out of range,
// stops decoding at once. Rows that were not decoded keep what the buffer held.
// A restart marker that is missing or out of sequence resynchronises at the
// next restart marker in the data; the intervals whose markers were lost (by
// the marker numbers) stay undecoded. Progressive images show the coefficients
// that the scans delivered before the data ended.
#include "formats/jpeg/jpeg_decoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/byte_cursor.h"
#include "base/tasks.h"
#include "formats/jpeg/jpeg_bit_readers.h"
#include "formats/jpeg/jpeg_kernels.h"
#include "image/image_reader.h"

namespace vt {

namespace {

// Zig-zag position -> natural (row-major) position; 64 extra entries so that a
// run that overshoots the block in a damaged stream, and the end-of-block step
// of the sequential fast path, land on the last coefficient instead of outside
// the block.
constexpr std::array<uint8_t, 128> MakeNatural() {
  constexpr uint8_t zigzag[64] = {
      0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
      41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
      30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
  std::array<uint8_t, 128> a{};
  for (int i = 0; i < 128; ++i) a[i] = i < 64 ? zigzag[i] : 63;
  return a;
}
constexpr std::array<uint8_t, 128> kNatural = MakeNatural();

enum Marker : uint8_t {
  kSof0 = 0xC0,
  kDht = 0xC4,
  kDac = 0xCC,
  kRst0 = 0xD0,
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
  kDqt = 0xDB,
  kDnl = 0xDC,
  kDri = 0xDD,
  kApp0 = 0xE0,
  kApp14 = 0xEE,
  kApp15 = 0xEF,
  kCom = 0xFE,
};

// ---------------------------------------------------------------------------
// Huffman tables (T.81 Annex C) with a 12-bit lookahead.

constexpr int kLookBits = 12;
// Run of the end-of-block entry: from any position in the block it carries the
// position past the last coefficient.
constexpr int kEobRun = 64;

struct HuffTable {
  bool defined = false;
  // (length << 8) | symbol for codes of at most kLookBits bits; 0 for longer.
  uint16_t fast[1 << kLookBits];
  // AC tables: value << 16 | run << 8 | (code length + value bits), for codes
  // whose value bits also fit the lookahead; 0 else. The length sits in the
  // low six bits so that it serves as a 64-bit shift count unmasked. The
  // end-of-block code has value 0 and run kEobRun, the sixteen-zero code
  // value 0 and run 15: a sequential block then runs past its end or skips its
  // zeros with the same steps as any coefficient (storing a zero where the
  // block already holds one).
  int32_t fastAc[1 << kLookBits];
  int32_t maxcode[18];   // one past the largest code of each length
  int32_t valoffset[17];  // symbol index = code + valoffset[length]
  uint16_t count = 0;
  uint8_t values[256];
};

inline int32_t Extend(uint32_t v, int s) {
  return v < (1u << (s - 1)) ? static_cast<int32_t>(v) - (1 << s) + 1 : static_cast<int32_t>(v);
}

bool BuildHuffTable(HuffTable* t, const uint8_t counts[16], const uint8_t* values, bool ac) {
  std::memset(t->fast, 0, sizeof t->fast);
  std::memset(t->fastAc, 0, sizeof t->fastAc);
  int32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    t->valoffset[len] = k - code;
    for (int i = 0; i < counts[len - 1]; ++i, ++code, ++k) {
      // More codes of this length than the length allows: not a prefix code
      // (and the lookahead entries of this code would lie past the table).
      if (code >= (1 << len)) return false;
      if (len <= kLookBits) {
        const int shift = kLookBits - len;
        for (int j = 0; j < (1 << shift); ++j)
          t->fast[(code << shift) | j] = static_cast<uint16_t>(len << 8 | values[k]);
      }
    }
    t->maxcode[len] = code;
    code <<= 1;
  }
  t->maxcode[17] = INT32_MAX;
  t->count = static_cast<uint16_t>(k);
  std::memcpy(t->values, values, static_cast<size_t>(k));
  if (ac) {
    for (int i = 0; i < (1 << kLookBits); ++i) {
      const uint16_t f = t->fast[i];
      if (!f) continue;
      const int len = f >> 8;
      const int rs = f & 0xFF;
      const int run = rs >> 4, size = rs & 15;
      if (size == 0) {
        if (run == 0) t->fastAc[i] = kEobRun << 8 | len;
        if (run == 15) t->fastAc[i] = 15 << 8 | len;
        continue;
      }
      if (len + size > kLookBits) continue;
      const uint32_t bits = (static_cast<uint32_t>(i) >> (kLookBits - len - size)) & ((1u << size) - 1);
      const int32_t v = Extend(bits, size);
      t->fastAc[i] = static_cast<int32_t>(static_cast<uint32_t>(v) << 16) | run << 8 | (len + size);
    }
  }
  t->defined = true;
  return true;
}

// Symbol of table t for the 16 bits in code16 when its code is longer than the
// lookahead; *length receives the code length. -1 for a code the table lacks.
inline int DecodeLong(const HuffTable& t, uint32_t code16, int* length) {
  for (int len = kLookBits + 1; len <= 16; ++len) {
    const int32_t c = static_cast<int32_t>(code16 >> (16 - len));
    if (c < t.maxcode[len]) {
      const int32_t index = c + t.valoffset[len];
      if (index < 0 || index >= t.count) return -1;
      *length = len;
      return t.values[index];
    }
  }
  return -1;
}

}  // namespace

namespace jpeg {

// The bit buffer of a BitReader held in locals while one block is decoded, so
// that it lives in registers rather than in the decoder's state; written back
// when it goes out of scope.
class LocalBits {
 public:
  explicit LocalBits(BitReader& r) : r_(r), buf_(r.buf_), bits_(r.bits_) {}
  ~LocalBits() {
    r_.buf_ = buf_;
    r_.bits_ = bits_;
  }
  LocalBits(const LocalBits&) = delete;
  LocalBits& operator=(const LocalBits&) = delete;

  // Afterwards at least 57 bits are present (zeros past the data). Eight bytes
  // without a 0xFF among them are taken in one step: the bits of a byte only
  // partly counted are exactly the bits the next step or the reader's own
  // refill puts there again. A marker always begins with 0xFF, so a stopped
  // reader never gets here past its marker.
  void Fill() {
    uint64_t w;
    if (r_.LoadWord(&w)) {
      buf_ |= w >> bits_;
      r_.Advance(static_cast<size_t>((63 - bits_) >> 3));
      bits_ |= 56;
      return;
    }
    r_.buf_ = buf_;
    r_.bits_ = bits_;
    r_.Refill();
    buf_ = r_.buf_;
    bits_ = r_.bits_;
  }
  void Ensure(int n) {
    if (bits_ < n) Fill();
  }
  // Hands the buffer to the reader for work done through it directly
  // (restart markers), and takes it back afterwards.
  void Store() {
    r_.buf_ = buf_;
    r_.bits_ = bits_;
  }
  void Load() {
    buf_ = r_.buf_;
    bits_ = r_.bits_;
  }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buf_ >> (64 - n)); }
  void Skip(int n) {
    buf_ <<= n;
    bits_ -= n;
  }
  // n in 1..16 with n bits present.
  uint32_t Get(int n) {
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  uint32_t Bit() {
    Ensure(1);
    return Get(1);
  }
  uint32_t Bits(int n) {
    if (n == 0) return 0;
    Ensure(n);
    return Get(n);
  }
  // Symbol of table t with 16 bits present; -1 for a code the table lacks.
  int DecodePresent(const HuffTable& t) {
    const uint16_t f = t.fast[Peek(kLookBits)];
    if (f) {
      Skip(f >> 8);
      return f & 0xFF;
    }
    int len = 0;
    const int sym = DecodeLong(t, Peek(16), &len);
    if (sym >= 0) Skip(len);
    return sym;
  }
  int Decode(const HuffTable& t) {
    Ensure(16);
    return DecodePresent(t);
  }

 private:
  BitReader& r_;
  uint64_t buf_;
  int bits_;
};

}  // namespace jpeg

namespace {

using jpeg::ArithDecoder;
using jpeg::BitReader;
using jpeg::kFixedHalf;
using jpeg::LocalBits;


struct Component {
  uint8_t id = 0;
  uint8_t h = 1, v = 1;
  uint8_t tq = 0;
  uint32_t bw = 0, bh = 0;    // blocks over the MCU-aligned frame
  uint32_t cbw = 0, cbh = 0;  // blocks covering the component's own samples
  // Scan state.
  uint8_t td = 0, ta = 0;
  int32_t pred = 0;
  int dcContext = 0;
};

// What the transform-and-store step reads of a component: fixed for the
// frame, unlike the scan state the decoding thread keeps writing meanwhile.
struct ComponentLayout {
  uint8_t h = 1, v = 1;
  uint8_t tq = 0;
  uint32_t bw = 0;
};

struct ScanInfo {
  int count = 0;
  int comp[4] = {};
  int ss = 0, se = 63, ah = 0, al = 0;
};

// Working planes of one MCU row for the transform-and-store step. The row
// tasks of the parallel pipeline own one set, the calling thread another.
struct RowWork {
  std::vector<uint8_t> planes[4];
  std::vector<uint8_t> wide[4];
};

}  // namespace

struct JpegDecoder::State {
  // The stream; marker parsing stands at its position.
  ByteCursor in;
  // Where the entropy-coded data of the current scan or interval begin.
  size_t entropyStart = 0;

  // Tables.
  alignas(16) uint16_t quant[4][64] = {};
  bool quantDefined[4] = {};
  HuffTable dc[4];
  HuffTable ac[4];
  uint8_t arithL[16], arithU[16], arithK[16];
  uint32_t restartInterval = 0;
  uint8_t transform = 255;

  // Frame.
  bool arithmetic = false, progressive = false, differential = false;
  uint32_t width = 0, height = 0;
  uint32_t ncomp = 0;
  // The entropy decoder updates the components' predictors block by block
  // while row tasks read the frame fields: separate cache lines.
  alignas(64) Component comp[4];
  alignas(64) uint32_t hmax = 1;
  uint32_t vmax = 1;
  uint32_t mcusX = 0, mcusY = 0;
  ColourModel model = ColourModel::Unknown;
  bool usedParallel = false;

  // Decoding.
  const JpegKernels* kernels = nullptr;
  bool buffered = false;
  bool reduced = false;
  bool convertYcc = false;
  // Coefficients: buffered mode the whole image, otherwise one or two MCU rows.
  int16_t* coef[4] = {};
  std::vector<int16_t*> allocations;
  ScanInfo scan;
  BitReader bits;
  ArithDecoder arith;
  uint32_t eobrun = 0;
  uint8_t dcStats[4][64];
  uint8_t acStats[4][256];
  uint8_t fixedBin = kFixedHalf;
  uint32_t nextRestart = 0;
  // MCUs (or blocks of a one-component scan) left undecoded after a lost
  // restart marker.
  uint32_t skipUnits = 0;
  bool entropyError = false;
  bool dataEnded = false;

  ~State() {
    for (int16_t* p : allocations) std::free(p);
  }

  // Marker search: skip to a 0xFF, skip fill bytes, a following zero is
  // stuffing. Past the end counts as EOI.
  uint8_t NextMarker() {
    for (;;) {
      in.SkipTo(0xFF);
      while (in.PeekU8() == 0xFF) in.Skip(1);
      if (in.AtEnd()) return kEoi;
      const uint8_t m = in.U8();
      if (m != 0) return m;
    }
  }

  // The payload of the segment at the position; false when it does not fit.
  bool Segment(ByteCursor* payload) {
    const uint32_t length = in.U16BE();
    if (!in.Ok() || length < 2) return false;
    *payload = ByteCursor(in.Bytes(length - 2));
    return in.Ok();
  }

  bool ReadDqt(ByteCursor p) {
    while (!p.AtEnd()) {
      const uint8_t pq = p.U8();
      const int precision = pq >> 4, index = pq & 15;
      if (index > 3) return false;
      const std::span<const uint8_t> v = p.Bytes(precision ? 128 : 64);
      if (!p.Ok()) return false;
      for (int k = 0; k < 64; ++k) {
        quant[index][kNatural[k]] =
            precision ? static_cast<uint16_t>(v[2 * k] << 8 | v[2 * k + 1]) : v[k];
      }
      quantDefined[index] = true;
    }
    return true;
  }

  bool ReadDht(ByteCursor p) {
    while (!p.AtEnd()) {
      if (!p.Has(17)) return false;
      const uint8_t tc = p.U8();
      const int cls = tc >> 4, index = tc & 15;
      if (cls > 1 || index > 3) return false;
      uint8_t counts[16];
      uint32_t total = 0;
      for (int k = 0; k < 16; ++k) total += counts[k] = p.U8();
      if (total > 256) return false;
      const std::span<const uint8_t> values = p.Bytes(total);
      if (!p.Ok()) return false;
      HuffTable& t = cls ? ac[index] : dc[index];
      if (!BuildHuffTable(&t, counts, values.data(), cls == 1)) return false;
    }
    return true;
  }

  bool ReadDac(ByteCursor p) {
    while (!p.AtEnd()) {
      const int t = p.U8();
      const uint8_t v = p.U8();
      if (!p.Ok()) return false;
      if (t < 16) {
        arithL[t] = v & 15;
        arithU[t] = v >> 4;
        if (arithU[t] < arithL[t]) return false;
      } else if (t < 32) {
        arithK[t - 16] = v;
      } else {
        return false;
      }
    }
    return true;
  }

  // Reads table segments up to the next frame header, SOI, EOI or SOS, which it
  // returns; 0 for a damaged segment or an unknown marker.
  uint8_t ReadTables() {
    for (;;) {
      const uint8_t m = NextMarker();
      if ((m >= kRst0 && m <= kRst0 + 7) || m == 0x01) continue;
      if (m == kSoi || m == kEoi || m == kSos) return m;
      if (m >= 0xC0 && m <= 0xCF && m != kDht && m != kDac) return m;
      ByteCursor p;
      if (!Segment(&p)) return 0;
      bool ok = true;
      if (m == kDqt) {
        ok = ReadDqt(p);
      } else if (m == kDht) {
        ok = ReadDht(p);
      } else if (m == kDac) {
        ok = ReadDac(p);
      } else if (m == kDri) {
        if (p.Size() != 2) return 0;
        restartInterval = p.U16BE();
      } else if (m == kApp14) {
        static constexpr uint8_t kAdobe[] = {'A', 'd', 'o', 'b', 'e'};
        if (p.Size() > 11 && p.StartsWith(kAdobe)) transform = p.PeekU8(11);
      } else if ((m >= kApp0 && m <= kApp15) || m == kCom || m == kDnl) {
        // Skipped.
      } else {
        return 0;
      }
      if (!ok) return 0;
    }
  }

  Status ReadFrame() {
    ByteCursor p;
    if (!Segment(&p) || p.Size() < 6) return status::kDamaged;
    const uint32_t precision = p.U8();
    height = p.U16BE();
    width = p.U16BE();
    ncomp = p.U8();
    if (!height || !width || !ncomp || precision != 8 || p.Size() + 2 != 8 + 3 * size_t{ncomp})
      return status::kDamaged;
    if (ncomp != 1 && ncomp != 3 && ncomp != 4) return status::kUnsupportedSubformat;
    hmax = vmax = 1;
    for (uint32_t i = 0; i < ncomp; ++i) {
      Component& c = comp[i];
      c.id = p.U8();
      const uint8_t sampling = p.U8();
      c.h = ncomp == 1 ? 1 : sampling >> 4;
      c.v = ncomp == 1 ? 1 : sampling & 15;
      c.tq = p.U8();
      if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return status::kDamaged;
      hmax = std::max<uint32_t>(hmax, c.h);
      vmax = std::max<uint32_t>(vmax, c.v);
    }
    mcusX = (width + 8 * hmax - 1) / (8 * hmax);
    mcusY = (height + 8 * vmax - 1) / (8 * vmax);
    for (uint32_t i = 0; i < ncomp; ++i) {
      Component& c = comp[i];
      c.bw = mcusX * c.h;
      c.bh = mcusY * c.v;
      const uint32_t cw = (width * c.h + hmax - 1) / hmax;
      const uint32_t ch = (height * c.v + vmax - 1) / vmax;
      c.cbw = (cw + 7) / 8;
      c.cbh = (ch + 7) / 8;
    }
    // Colour model from the Adobe transform and the component identifiers.
    if (ncomp == 1) {
      model = ColourModel::L;
    } else if (ncomp == 3) {
      if (transform == 1) {
        model = ColourModel::YCbCr;
      } else if (transform == 0) {
        model = ColourModel::Rgb;
      } else {
        const bool rgb = comp[0].id == 'R' && comp[1].id == 'G' && comp[2].id == 'B';
        model = rgb ? ColourModel::Rgb : ColourModel::YCbCr;
      }
    } else {
      if (transform == 0) {
        model = ColourModel::Cmyl;
      } else if (transform == 2) {
        model = ColourModel::Ycck;
      } else {
        const bool cmyk =
            comp[0].id == 'C' && comp[1].id == 'M' && comp[2].id == 'Y' && comp[3].id == 'K';
        model = cmyk ? ColourModel::Cmyl : ColourModel::Cmyk;
      }
    }
    return status::kOk;
  }

  Status ReadHeader() {
    in.Seek(0);
    if (in.U8() != 0xFF || in.U8() != kSoi || !in.Ok()) return status::kDamaged;
    std::memset(arithL, 0, sizeof arithL);
    std::memset(arithU, 1, sizeof arithU);
    std::memset(arithK, 5, sizeof arithK);
    for (HuffTable& t : dc) t.defined = false;
    for (HuffTable& t : ac) t.defined = false;
    const uint8_t m = ReadTables();
    if (m == 0) return status::kDamaged;
    if (m == kSoi || m == kEoi || m == kSos) return status::kUnsupportedSubformat;
    switch (m) {
      case 0xC0:
      case 0xC1:
        break;
      case 0xC2:
        progressive = true;
        break;
      case 0xC9:
        arithmetic = true;
        break;
      case 0xCA:
        arithmetic = progressive = true;
        break;
      case 0xC5:
      case 0xC6:
      case 0xC7:
      case 0xCD:
      case 0xCE:
      case 0xCF:
        differential = true;
        return status::kUnsupportedSubformat;
      default:
        return status::kUnsupportedSubformat;
    }
    return ReadFrame();
  }

  // ---- scans --------------------------------------------------------------

  Status ReadScanHeader() {
    ByteCursor p;
    if (!Segment(&p) || p.AtEnd()) return status::kDamaged;
    const int n = p.U8();
    if (n < 1 || n > 4 || p.Size() != 4 + 2 * size_t(n)) return status::kDamaged;
    scan.count = n;
    int blocks = 0;
    for (int i = 0; i < n; ++i) {
      const uint8_t id = p.U8();
      const uint8_t tables = p.U8();
      int found = -1;
      for (uint32_t c = 0; c < ncomp; ++c) {
        if (comp[c].id == id) {
          found = static_cast<int>(c);
          break;
        }
      }
      if (found < 0) return status::kDamaged;
      for (int j = 0; j < i; ++j) {
        if (scan.comp[j] == found) return status::kDamaged;
      }
      scan.comp[i] = found;
      comp[found].td = tables >> 4;
      comp[found].ta = tables & 15;
      if (comp[found].td > 3 || comp[found].ta > 3) return status::kDamaged;
      blocks += comp[found].h * comp[found].v;
    }
    scan.ss = p.U8();
    scan.se = p.U8();
    const uint8_t approximation = p.U8();
    scan.ah = approximation >> 4;
    scan.al = approximation & 15;
    if (n > 1 && blocks > 24) return status::kDamaged;
    if (progressive) {
      if (scan.ss == 0) {
        if (scan.se != 0) return status::kDamaged;
      } else if (scan.se < scan.ss || scan.se > 63 || n != 1) {
        return status::kDamaged;
      }
      if (scan.ah != 0 && scan.ah != scan.al + 1) return status::kDamaged;
      if (scan.al >= 14) return status::kDamaged;
    } else {
      scan.ss = 0;
      scan.se = 63;
      scan.ah = scan.al = 0;
    }
    return status::kOk;
  }

  void StartEntropy() {
    for (int i = 0; i < scan.count; ++i) {
      comp[scan.comp[i]].pred = 0;
      comp[scan.comp[i]].dcContext = 0;
    }
    eobrun = 0;
    entropyStart = in.Position();
    if (arithmetic) {
      std::memset(dcStats, 0, sizeof dcStats);
      std::memset(acStats, 0, sizeof acStats);
      arith.Reset(in.Tail().Rest());
    } else {
      bits.Reset(in.Tail().Rest());
    }
  }

  // Moves the stream's position to where the entropy decoder stands.
  void CatchUpWithEntropy() {
    in.Seek(entropyStart + (arithmetic ? arith.Offset() : bits.Offset()));
  }
  bool EntropyExhausted() const { return arithmetic ? arith.Exhausted() : bits.Exhausted(); }

  // At a restart interval's end: find the next restart marker and start over
  // after it. False when the scan's data end before one.
  bool Restart() {
    CatchUpWithEntropy();
    for (;;) {
      in.SkipTo(0xFF);
      while (in.PeekU8() == 0xFF) in.Skip(1);
      if (in.AtEnd()) return false;
      const uint8_t m = in.PeekU8();
      if (m == 0) {
        in.Skip(1);
        continue;
      }
      if (m >= kRst0 && m <= kRst0 + 7) {
        // A marker further on in the sequence than expected means the markers
        // between were lost together with the start of their intervals: those
        // intervals are passed over, and the data after this marker go to the
        // interval it stands before.
        in.Skip(1);
        skipUnits = ((m - kRst0 - nextRestart) & 7) * restartInterval;
        nextRestart = (m - kRst0 + 1) & 7;
        StartEntropy();
        return true;
      }
      // Another marker: back to its 0xFF, where the marker search finds it.
      in.Seek(in.Position() - 1);
      return false;
    }
  }

  // ---- Huffman blocks -------------------------------------------------------

  // kDcOnly: the AC coefficients are decoded past but not stored (the block's
  // other coefficients are left as they are).
  template <bool kDcOnly>
  __attribute__((noinline)) bool HuffBlock(int16_t* blk, Component& c) {
    LocalBits br(bits);
    return HuffBlockIn<kDcOnly>(br, blk, c);
  }

  template <bool kDcOnly>
  __attribute__((always_inline)) inline bool HuffBlockIn(LocalBits& br, int16_t* blk, Component& c) {
    const HuffTable& dct = dc[c.td];
    const int32_t* fastAc = ac[c.ta].fastAc;
#if defined(__GNUC__)
    // Keeps the table address in one register, so that the lookup on the
    // bit buffer's critical path is a single load without an address add.
    asm("" : "+r"(fastAc));
#endif
    const HuffTable& act = ac[c.ta];
    br.Ensure(32);
    const int s = br.DecodePresent(dct);
    if (s < 0 || s > 16) return false;
    const int32_t diff = s ? Extend(br.Get(s), s) : 0;
    c.pred = static_cast<int32_t>(static_cast<uint32_t>(c.pred) + static_cast<uint32_t>(diff));
    blk[0] = static_cast<int16_t>(c.pred);
    for (int k = 1; k < 64;) {
      // 32 bits hold a code and its value bits.
      br.Ensure(32);
      const int32_t fa = fastAc[br.Peek(kLookBits)];
      if (fa) {
        k += (fa >> 8) & 0xFF;
        br.Skip(fa & 63);
        if (!kDcOnly) blk[kNatural[k]] = static_cast<int16_t>(fa >> 16);
        ++k;
        continue;
      }
      const int rs = br.DecodePresent(act);
      if (rs < 0) return false;
      const int r = rs >> 4, sz = rs & 15;
      if (sz == 0) {
        if (r != 15) break;
        k += 16;
        continue;
      }
      k += r;
      const int16_t v = static_cast<int16_t>(Extend(br.Get(sz), sz));
      if (!kDcOnly) blk[kNatural[k]] = v;
      ++k;
    }
    return true;
  }

  bool HuffDcFirst(int16_t* blk, Component& c) {
    LocalBits br(bits);
    const int s = br.Decode(dc[c.td]);
    if (s < 0 || s > 16) return false;
    const int32_t diff = s ? Extend(br.Bits(s), s) : 0;
    c.pred = static_cast<int32_t>(static_cast<uint32_t>(c.pred) + static_cast<uint32_t>(diff));
    blk[0] = static_cast<int16_t>(static_cast<uint32_t>(c.pred) << scan.al);
    return true;
  }

  bool HuffDcRefine(int16_t* blk) {
    LocalBits br(bits);
    if (br.Bit()) blk[0] = static_cast<int16_t>(blk[0] | (1 << scan.al));
    return true;
  }

  __attribute__((noinline)) bool HuffAcFirst(int16_t* blk, Component& c) {
    if (eobrun) {
      --eobrun;
      return true;
    }
    LocalBits br(bits);
    const HuffTable& t = ac[c.ta];
    const int al = scan.al, se = scan.se;
    for (int k = scan.ss; k <= se;) {
      br.Ensure(32);
      // The zero-valued entries (end of block, sixteen zeros) mean more here.
      const int32_t fa = t.fastAc[br.Peek(kLookBits)];
      if (fa >> 16) {
        k += (fa >> 8) & 0xFF;
        if (k > 63) return false;
        br.Skip(fa & 63);
        blk[kNatural[k]] = static_cast<int16_t>(static_cast<uint32_t>(fa >> 16) << al);
        ++k;
        continue;
      }
      const int rs = br.DecodePresent(t);
      if (rs < 0) return false;
      const int r = rs >> 4, s = rs & 15;
      if (s == 0) {
        if (r < 15) {
          eobrun = (1u << r) - 1;
          if (r) eobrun += br.Bits(r);
          break;
        }
        k += 16;
        continue;
      }
      k += r;
      if (k > 63) return false;
      const int32_t v = Extend(br.Bits(s), s);
      blk[kNatural[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) << scan.al);
      ++k;
    }
    return true;
  }

  // Refines one coefficient that is already non-zero by the scan's bit.
  static void RefineNonZero(LocalBits& br, int16_t* coef, int p1) {
    if (br.Bit() && (*coef & p1) == 0) *coef = static_cast<int16_t>(*coef >= 0 ? *coef + p1 : *coef - p1);
  }

  __attribute__((noinline)) bool HuffAcRefine(int16_t* blk, Component& c) {
    LocalBits br(bits);
    const int p1 = 1 << scan.al;
    const HuffTable& t = ac[c.ta];
    int k = scan.ss;
    if (eobrun == 0) {
      for (; k <= scan.se; ++k) {
        const int rs = br.Decode(t);
        if (rs < 0) return false;
        int r = rs >> 4;
        const int s = rs & 15;
        int value = 0;
        if (s) {
          value = br.Bit() ? p1 : -p1;
        } else if (r != 15) {
          eobrun = 1u << r;
          if (r) eobrun += br.Bits(r);
          break;
        }
        // Skip r zero coefficients (refining the non-zero ones passed), then
        // place the new value on the next zero one.
        while (k <= scan.se) {
          int16_t* coef = blk + kNatural[k];
          if (*coef != 0) {
            RefineNonZero(br, coef, p1);
          } else {
            if (r == 0) break;
            --r;
          }
          ++k;
        }
        if (value && k <= scan.se) blk[kNatural[k]] = static_cast<int16_t>(value);
      }
    }
    if (eobrun > 0) {
      for (; k <= scan.se; ++k) {
        int16_t* coef = blk + kNatural[k];
        if (*coef != 0) RefineNonZero(br, coef, p1);
      }
      --eobrun;
    }
    return true;
  }

  // ---- arithmetic blocks (T.81 F.1.4, G.1.3) ------------------------------

  // The magnitude category and bits after the first "non-zero" decision; st
  // points at the category context. 0 when the value overflows.
  bool ArithMagnitude(uint8_t* st, uint8_t* magStats, int32_t* out) {
    int32_t m = arith.Decode(st);
    if (m) {
      if (arith.Decode(st)) {
        m <<= 1;
        st = magStats;
        while (arith.Decode(st)) {
          if ((m <<= 1) == 0x8000) return false;
          ++st;
        }
      }
    }
    int32_t v = m;
    st += 14;
    while (m >>= 1) {
      if (arith.Decode(st)) v |= m;
    }
    *out = v + 1;
    return true;
  }

  bool ArithDc(Component& c, int32_t* diffOut) {
    const int tbl = c.td;
    uint8_t* st = dcStats[tbl] + c.dcContext;
    if (arith.Decode(st) == 0) {
      c.dcContext = 0;
      *diffOut = 0;
      return true;
    }
    const int sign = arith.Decode(st + 1);
    st += 2 + sign;
    int32_t m = arith.Decode(st);
    if (m) {
      st = dcStats[tbl] + 20;
      while (arith.Decode(st)) {
        if ((m <<= 1) == 0x8000) return false;
        ++st;
      }
    }
    if (m < ((1 << arithL[tbl]) >> 1)) {
      c.dcContext = 0;
    } else if (m > ((1 << arithU[tbl]) >> 1)) {
      c.dcContext = 12 + sign * 4;
    } else {
      c.dcContext = 4 + sign * 4;
    }
    int32_t v = m;
    st += 14;
    while (m >>= 1) {
      if (arith.Decode(st)) v |= m;
    }
    v += 1;
    *diffOut = sign ? -v : v;
    return true;
  }

  bool ArithAcRange(int16_t* blk, Component& c, int ss, int se, int al) {
    const int tbl = c.ta;
    for (int k = ss; k <= se; ++k) {
      uint8_t* st = acStats[tbl] + 3 * (k - 1);
      if (arith.Decode(st)) break;  // end of block
      while (arith.Decode(st + 1) == 0) {
        st += 3;
        if (++k > se) return false;
      }
      const int sign = arith.Decode(&fixedBin);
      st += 2;
      int32_t v;
      if (!ArithMagnitude(st, acStats[tbl] + (k <= arithK[tbl] ? 189 : 217), &v)) return false;
      if (sign) v = -v;
      blk[kNatural[k]] = static_cast<int16_t>(static_cast<uint32_t>(v) << al);
    }
    return true;
  }

  bool ArithBlock(int16_t* blk, Component& c) {
    int32_t diff;
    if (!ArithDc(c, &diff)) return false;
    c.pred = static_cast<int32_t>(static_cast<uint32_t>(c.pred) + static_cast<uint32_t>(diff));
    blk[0] = static_cast<int16_t>(c.pred);
    return ArithAcRange(blk, c, 1, 63, 0);
  }

  bool ArithDcFirst(int16_t* blk, Component& c) {
    int32_t diff;
    if (!ArithDc(c, &diff)) return false;
    c.pred = static_cast<int32_t>(static_cast<uint32_t>(c.pred) + static_cast<uint32_t>(diff));
    blk[0] = static_cast<int16_t>(static_cast<uint32_t>(c.pred) << scan.al);
    return true;
  }

  bool ArithDcRefine(int16_t* blk) {
    if (arith.Decode(&fixedBin)) blk[0] = static_cast<int16_t>(blk[0] | (1 << scan.al));
    return true;
  }

  bool ArithAcRefine(int16_t* blk, Component& c) {
    const int tbl = c.ta;
    const int p1 = 1 << scan.al;
    int kex = scan.se;
    for (; kex > 0; --kex) {
      if (blk[kNatural[kex]]) break;
    }
    for (int k = scan.ss; k <= scan.se; ++k) {
      uint8_t* st = acStats[tbl] + 3 * (k - 1);
      if (k > kex && arith.Decode(st)) break;
      for (;;) {
        int16_t* coef = blk + kNatural[k];
        if (*coef) {
          if (arith.Decode(st + 2)) *coef = static_cast<int16_t>(*coef < 0 ? *coef - p1 : *coef + p1);
          break;
        }
        if (arith.Decode(st + 1)) {
          *coef = static_cast<int16_t>(arith.Decode(&fixedBin) ? -p1 : p1);
          break;
        }
        st += 3;
        if (++k > scan.se) return false;
      }
    }
    return true;
  }

  bool DecodeOneBlock(int16_t* blk, Component& c) {
    if (!progressive) {
      // The row stores start zeroed and the transform clears every block it
      // reads, so sequential blocks need no clearing here. The DC-only output
      // reads the DC term alone.
      if (arithmetic) return ArithBlock(blk, c);
      return reduced ? HuffBlock<true>(blk, c) : HuffBlock<false>(blk, c);
    }
    if (scan.ss == 0) {
      if (scan.ah == 0) return arithmetic ? ArithDcFirst(blk, c) : HuffDcFirst(blk, c);
      return arithmetic ? ArithDcRefine(blk) : HuffDcRefine(blk);
    }
    if (scan.ah == 0) {
      return arithmetic ? ArithAcRange(blk, c, scan.ss, scan.se, scan.al) : HuffAcFirst(blk, c);
    }
    return arithmetic ? ArithAcRefine(blk, c) : HuffAcRefine(blk, c);
  }

  // Block (bx, by) of component c inside the coefficient store: the whole image
  // when buffered, else the MCU row whose first block row is rowBase.
  int16_t* Block(int ci, int16_t* base, uint32_t bx, uint32_t by) const {
    return base + (size_t{by} * comp[ci].bw + bx) * 64;
  }

  // Decodes MCU row (or, for a one-component scan, block row) r of the current
  // scan into the stores base[]; false when decoding must stop.
  uint32_t restartCount = 0;

  enum class Unit { kDecode, kSkip, kStop };
  // Restart bookkeeping before each MCU (or block of a one-component scan).
  Unit NextUnit() {
    if (skipUnits) {
      --skipUnits;
      return Unit::kSkip;
    }
    if (restartInterval) {
      if (restartCount == restartInterval) {
        if (!Restart()) {
          dataEnded = true;
          return Unit::kStop;
        }
        restartCount = 0;
        if (skipUnits) {
          --skipUnits;
          return Unit::kSkip;
        }
      }
      ++restartCount;
    }
    return Unit::kDecode;
  }

  // DecodeRow for the sequential Huffman process into one MCU row's stores:
  // the bit buffer stays in registers for the whole row.
  template <bool kDcOnly>
  __attribute__((noinline)) bool HuffRow(int16_t* const* base) {
    LocalBits br(bits);
    const bool bookkeeping = restartInterval != 0 || skipUnits != 0;
    auto next = [&] {
      if (!bookkeeping) return Unit::kDecode;
      br.Store();
      const Unit u = NextUnit();
      br.Load();
      return u;
    };
    if (scan.count == 1) {
      const int ci = scan.comp[0];
      Component& c = comp[ci];
      int16_t* blk = base[ci];
      for (uint32_t x = 0; x < c.cbw; ++x, blk += 64) {
        const Unit u = next();
        if (u == Unit::kStop) return false;
        if (u == Unit::kSkip) continue;
        if (!HuffBlockIn<kDcOnly>(br, blk, c)) {
          entropyError = true;
          return false;
        }
      }
      return true;
    }
    for (uint32_t mx = 0; mx < mcusX; ++mx) {
      const Unit u = next();
      if (u == Unit::kStop) return false;
      if (u == Unit::kSkip) continue;
      for (int i = 0; i < scan.count; ++i) {
        const int ci = scan.comp[i];
        Component& c = comp[ci];
        for (uint32_t y = 0; y < c.v; ++y) {
          int16_t* blk = base[ci] + (size_t{y} * c.bw + size_t{mx} * c.h) * 64;
          for (uint32_t x = 0; x < c.h; ++x, blk += 64) {
            if (!HuffBlockIn<kDcOnly>(br, blk, c)) {
              entropyError = true;
              return false;
            }
          }
        }
      }
    }
    return true;
  }

  bool DecodeRow(uint32_t r, int16_t* const* base, bool localRows) {
    if (localRows && !progressive && !arithmetic)
      return reduced ? HuffRow<true>(base) : HuffRow<false>(base);
    const bool single = scan.count == 1;
    if (single) {
      const int ci = scan.comp[0];
      Component& c = comp[ci];
      // A one-component scan of an interleaved frame covers the component's
      // own blocks only; of a one-component frame, the same blocks as its MCUs.
      const uint32_t width = c.cbw;
      const uint32_t by = localRows ? 0 : r;
      for (uint32_t x = 0; x < width; ++x) {
        const Unit u = NextUnit();
        if (u == Unit::kStop) return false;
        if (u == Unit::kSkip) continue;
        if (!DecodeOneBlock(Block(ci, base[ci], x, by), c)) {
          entropyError = true;
          return false;
        }
      }
      return true;
    }
    for (uint32_t mx = 0; mx < mcusX; ++mx) {
      const Unit u = NextUnit();
      if (u == Unit::kStop) return false;
      if (u == Unit::kSkip) continue;
      for (int i = 0; i < scan.count; ++i) {
        const int ci = scan.comp[i];
        Component& c = comp[ci];
        for (uint32_t y = 0; y < c.v; ++y) {
          const uint32_t by = localRows ? y : r * c.v + y;
          for (uint32_t x = 0; x < c.h; ++x) {
            if (!DecodeOneBlock(Block(ci, base[ci], mx * c.h + x, by), c)) {
              entropyError = true;
              return false;
            }
          }
        }
      }
    }
    return true;
  }

  // ---- transform and store -------------------------------------------------

  // Transforms MCU row r from the stores (block row 0 of the row at base[]) and
  // writes its pixels to out.
  void OutputRow(uint32_t r, int16_t* const* base, const PlaneView& out, uint32_t bpp,
                 RowWork& work) {
    const JpegKernels& k = *kernels;
    const uint32_t scale = reduced ? 1 : 8;
    const uint32_t fullW = mcusX * hmax * scale;
    const uint8_t* rows[4];
    // The decoding thread keeps writing the components' scan state while a
    // row task runs here: a copy of the fixed fields keeps these reads off
    // that cache line (and never reads the state being written).
    ComponentLayout local[4];
    for (uint32_t ci = 0; ci < ncomp; ++ci)
      local[ci] = {comp[ci].h, comp[ci].v, comp[ci].tq, comp[ci].bw};
    for (uint32_t ci = 0; ci < ncomp; ++ci) {
      const ComponentLayout& c = local[ci];
      const size_t pw = size_t{c.bw} * scale;
      std::vector<uint8_t>& plane = work.planes[ci];
      if (plane.size() < pw * c.v * scale) plane.resize(pw * c.v * scale);
      if (work.wide[ci].size() < fullW + 16) work.wide[ci].resize(fullW + 16);
      const uint16_t* q = quant[c.tq];
      for (uint32_t y = 0; y < c.v; ++y) {
        int16_t* blk = base[ci] + size_t{y} * c.bw * 64;
        if (reduced) {
          uint8_t* dst = plane.data() + y * pw;
          for (uint32_t x = 0; x < c.bw; ++x, blk += 64) {
            const int64_t v = ((int64_t{blk[0]} * q[0] + 4) >> 3) + 128;
            dst[x] = static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
          }
        } else {
          uint8_t* dst = plane.data() + size_t{y} * 8 * pw;
          for (uint32_t x = 0; x < c.bw; ++x, blk += 64, dst += 8) k.idct(blk, q, dst, pw);
        }
      }
    }
    const uint32_t outRows = vmax * scale;
    const uint32_t y0 = r * outRows;
    const uint32_t n = out.width;
    for (uint32_t oy = 0; oy < outRows && y0 + oy < out.height; ++oy) {
      for (uint32_t ci = 0; ci < ncomp; ++ci) {
        const ComponentLayout& c = local[ci];
        const size_t pw = size_t{c.bw} * scale;
        const uint8_t* plane = work.planes[ci].data();
        uint8_t* wide = work.wide[ci].data();
        const uint32_t rx = hmax / c.h, ry = vmax / c.v;
        if (rx == 1 && ry == 1) {
          rows[ci] = plane + oy * pw;
          continue;
        }
        if (reduced || rx > 2 || ry > 2) {
          const uint8_t* src = plane + (oy / ry) * pw;
          for (uint32_t x = 0; x < fullW; ++x) wide[x] = src[x / rx];
          rows[ci] = wide;
          continue;
        }
        const uint8_t* near = plane + (ry == 2 ? oy / 2 : oy) * pw;
        const uint8_t* far = near;
        if (ry == 2) {
          const uint32_t cy = oy / 2, ly = cy & 7;
          if ((oy & 1) == 0 && ly != 0) far = near - pw;
          if ((oy & 1) == 1 && ly != 7) far = near + pw;
        }
        if (rx == 2 && ry == 2) {
          k.upsampleH2V2(wide, near, far, c.bw);
        } else if (rx == 2) {
          k.upsampleH2(wide, near, c.bw);
        } else {
          k.upsampleV2(wide, near, far, pw);
        }
        rows[ci] = wide;
      }
      uint8_t* dst = out.Row(y0 + oy);
      if (bpp == 1) {
        std::memcpy(dst, rows[0], n);
      } else if (ncomp == 3) {
        if (convertYcc) {
          k.yccToBgra(dst, rows[0], rows[1], rows[2], n);
        } else if (model == ColourModel::Rgb) {
          k.interleave3(dst, rows[2], rows[1], rows[0], n);
        } else {
          k.interleave3(dst, rows[0], rows[1], rows[2], n);
        }
      } else {
        k.interleave4(dst, rows[0], rows[1], rows[2], rows[3], n);
      }
    }
  }

  int16_t* Allocate(uint64_t coefficients) {
    void* p = std::calloc(static_cast<size_t>(coefficients), sizeof(int16_t));
    if (p) allocations.push_back(static_cast<int16_t*>(p));
    return static_cast<int16_t*>(p);
  }

  Status Decode(const PlaneView& out, uint32_t bpp, bool reducedSize, ProgressSink* progress,
                const CancelFlag* cancel, bool allowParallel);
  Status DecodeStreaming(const PlaneView& out, uint32_t bpp, ProgressSink* progress,
                         const CancelFlag* cancel, bool allowParallel);
  Status DecodeBuffered(const PlaneView& out, uint32_t bpp, ProgressSink* progress,
                        const CancelFlag* cancel);
};

Status JpegDecoder::State::Decode(const PlaneView& out, uint32_t bpp, bool reducedSize,
                                  ProgressSink* progress, const CancelFlag* cancel,
                                  bool allowParallel) {
  for (uint32_t i = 0; i < ncomp; ++i) {
    if (hmax % comp[i].h || vmax % comp[i].v) return status::kUnsupportedSubformat;
  }
  if (differential) return status::kUnsupportedSubformat;
  if (!out || (bpp != 1 && bpp != 4) || (bpp == 1) != (ncomp == 1)) return status::kInvalidArgument;
  reduced = reducedSize;
  kernels = &ActiveJpegKernels();
  const uint32_t scale = reduced ? 8 : 1;
  if (out.width > (width + scale - 1) / scale || out.height > (height + scale - 1) / scale)
    return status::kInvalidArgument;

  // The first scan decides: a sequential scan that carries every component is
  // decoded row by row; anything else keeps the coefficients of the whole image.
  const uint8_t m = ReadTables();
  if (m != kSos) return m == 0 ? status::kDamaged : status::kOk;
  Status s = ReadScanHeader();
  if (Failed(s)) return s;
  buffered = progressive || static_cast<uint32_t>(scan.count) != ncomp;
  // YCbCr rows are converted while they are still in the cache instead of in a
  // second pass over the whole image afterwards; the model then says RGB.
  convertYcc = ncomp == 3 && model == ColourModel::YCbCr;
  if (convertYcc) model = ColourModel::Rgb;
  return buffered ? DecodeBuffered(out, bpp, progress, cancel)
                  : DecodeStreaming(out, bpp, progress, cancel, allowParallel);
}

namespace {

// The hand-over between the thread that entropy-decodes MCU rows and the
// threads that transform and store them. Rows are stored in the order they
// were decoded, each by whichever thread claims it first: a task of the pool
// normally, the decoding thread itself when every coefficient buffer is full
// (the task fell behind or has not started) and for the last rows.
class RowHandOver {
 public:
  explicit RowHandOver(uint32_t slots) : slots_(slots) {}

  // Decoding thread: blocks until row r's buffer is free, storing rows itself
  // while it waits.
  template <class Store>
  void AwaitSlot(uint32_t r, Store&& store) {
    if (r < slots_) return;
    const uint32_t before = r - slots_ + 1;  // rows that must be stored first
    while (stored_.load(std::memory_order_acquire) < before) {
      if (StoreOne(store)) continue;
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait(lock, [&] { return stored_.load(std::memory_order_acquire) >= before || Claimable(); });
    }
  }
  void Publish(uint32_t decodedRows) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      decoded_.store(decodedRows, std::memory_order_release);
    }
    cv_.notify_all();
  }
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    cv_.notify_all();
  }
  // Decoding thread at the end: stores what is left and waits for the rows
  // other threads are storing.
  template <class Store>
  void Drain(Store&& store) {
    while (StoreOne(store)) {
    }
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] {
      return stored_.load(std::memory_order_acquire) == decoded_.load(std::memory_order_acquire);
    });
  }
  // The pool's task: stores rows as they come until the decoding has finished.
  template <class Store>
  void Serve(Store&& store) {
    for (;;) {
      if (StoreOne(store)) continue;
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait(lock, [&] { return finished_ || Claimable(); });
      if (finished_ && !Claimable()) return;
    }
  }

 private:
  bool Claimable() const {
    return claimed_.load(std::memory_order_acquire) < decoded_.load(std::memory_order_acquire);
  }
  // Claims the oldest decoded row not yet claimed and stores it.
  template <class Store>
  bool StoreOne(Store&& store) {
    uint32_t r = claimed_.load(std::memory_order_acquire);
    do {
      if (r >= decoded_.load(std::memory_order_acquire)) return false;
    } while (!claimed_.compare_exchange_weak(r, r + 1, std::memory_order_acq_rel));
    store(r);
    // Rows finish in claim order or nearly so; the count only moves past
    // rows that are done, so a buffer is never reused while it is read.
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_[r % kMaxSlots] = true;
      uint32_t s = stored_.load(std::memory_order_relaxed);
      while (done_[s % kMaxSlots] && s < decoded_.load(std::memory_order_relaxed)) {
        done_[s % kMaxSlots] = false;
        ++s;
      }
      stored_.store(s, std::memory_order_release);
    }
    cv_.notify_all();
    return true;
  }

  static constexpr uint32_t kMaxSlots = 8;
  const uint32_t slots_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::atomic<uint32_t> decoded_{0};
  std::atomic<uint32_t> claimed_{0};
  std::atomic<uint32_t> stored_{0};
  bool done_[kMaxSlots] = {};
  bool finished_ = false;
};

}  // namespace

Status JpegDecoder::State::DecodeStreaming(const PlaneView& out, uint32_t bpp,
                                           ProgressSink* progress, const CancelFlag* cancel,
                                           bool allowParallel) {
  // Coefficient rows of the row pipeline: the calling thread decodes into one
  // while other rows wait for, or go through, the transform and store. Three
  // let the two sides run at their own pace row by row.
  constexpr uint32_t kSlots = 3;
  const bool parallel = allowParallel && uint64_t{ncomp} * mcusX > 255 && mcusY > 31 &&
                        ParallelThreadCount() > 1 && RunningParallelOperations() == 0;
  int16_t* rowStore[kSlots][4] = {};
  for (uint32_t b = 0; b < (parallel ? kSlots : 1); ++b) {
    for (uint32_t i = 0; i < ncomp; ++i) {
      rowStore[b][i] = Allocate(uint64_t{comp[i].bw} * comp[i].v * 64);
      if (!rowStore[b][i]) return status::kOutOfMemory;
    }
  }
  StartEntropy();
  restartCount = 0;
  nextRestart = 0;
  skipUnits = 0;
  RefPtr<ProgressSink> hold(progress);

  if (!parallel) {
    RowWork work;
    for (uint32_t r = 0; r < mcusY; ++r) {
      if (IsCancelled(cancel)) return status::kCancelled;
      if (progress) progress->Report(r, mcusY);
      const bool ok = DecodeRow(r, rowStore[0], true);
      OutputRow(r, rowStore[0], out, bpp, work);
      if (!ok || (EntropyExhausted() && r + 1 < mcusY)) break;
    }
    return status::kOk;
  }

  usedParallel = true;
  ParallelOperationScope scope;
  RowHandOver handOver(kSlots);
  RowWork ownWork, taskWork;
  auto storeWith = [this, &rowStore, &out, bpp](RowWork& work) {
    return [this, &rowStore, &out, bpp, &work](uint32_t r) {
      OutputRow(r, rowStore[r % kSlots], out, bpp, work);
    };
  };
  TaskGroup group;
  group.Run([&handOver, &taskWork, &storeWith] { handOver.Serve(storeWith(taskWork)); });
  Status result = status::kOk;
  for (uint32_t r = 0; r < mcusY; ++r) {
    if (IsCancelled(cancel)) {
      result = status::kCancelled;
      break;
    }
    if (progress) progress->Report(r, mcusY);
    handOver.AwaitSlot(r, storeWith(ownWork));
    const bool ok = DecodeRow(r, rowStore[r % kSlots], true);
    handOver.Publish(r + 1);
    if (!ok || (EntropyExhausted() && r + 1 < mcusY)) break;
  }
  handOver.Finish();
  handOver.Drain(storeWith(ownWork));
  group.Wait();
  return result;
}

Status JpegDecoder::State::DecodeBuffered(const PlaneView& out, uint32_t bpp,
                                          ProgressSink* progress, const CancelFlag* cancel) {
  uint64_t total = 0;
  for (uint32_t i = 0; i < ncomp; ++i) total += uint64_t{comp[i].bw} * comp[i].bh * 128;
  if (total > kJpegMaxCoefficientBytes) return status::kOutOfMemory;
  for (uint32_t i = 0; i < ncomp; ++i) {
    coef[i] = Allocate(uint64_t{comp[i].bw} * comp[i].bh * 64);
    if (!coef[i]) return status::kOutOfMemory;
  }
  RefPtr<ProgressSink> hold(progress);
  uint32_t scans = 0;
  for (;;) {
    StartEntropy();
    restartCount = 0;
    nextRestart = 0;
    skipUnits = 0;
    const uint32_t rows = scan.count == 1 ? comp[scan.comp[0]].cbh : mcusY;
    for (uint32_t r = 0; r < rows; ++r) {
      if ((r & 7) == 0 && IsCancelled(cancel)) return status::kCancelled;
      // A scan whose data end early leaves its remaining blocks as they are;
      // the next scan, if the data hold one, still refines the image.
      if (!DecodeRow(r, coef, false) || EntropyExhausted()) break;
    }
    if (entropyError || ++scans >= kJpegMaxScans) break;
    CatchUpWithEntropy();
    const uint8_t m = ReadTables();
    if (m != kSos) break;
    if (Failed(ReadScanHeader())) break;
  }
  RowWork work;
  int16_t* base[4] = {};
  for (uint32_t r = 0; r < mcusY; ++r) {
    if (IsCancelled(cancel)) return status::kCancelled;
    if (progress) progress->Report(r, mcusY);
    for (uint32_t i = 0; i < ncomp; ++i) base[i] = coef[i] + size_t{r} * comp[i].v * comp[i].bw * 64;
    OutputRow(r, base, out, bpp, work);
  }
  return status::kOk;
}

JpegDecoder::JpegDecoder(std::span<const uint8_t> data) : s_(std::make_unique<State>()) {
  s_->in = ByteCursor(data);
}
JpegDecoder::~JpegDecoder() = default;

Status JpegDecoder::ReadHeader() { return s_->ReadHeader(); }

Status JpegDecoder::Decode(const PlaneView& out, uint32_t bytesPerPixel, bool reduced,
                           ProgressSink* progress, const CancelFlag* cancel, bool allowParallel) {
  return s_->Decode(out, bytesPerPixel, reduced, progress, cancel, allowParallel);
}

uint32_t JpegDecoder::Width() const { return s_->width; }
uint32_t JpegDecoder::Height() const { return s_->height; }
uint32_t JpegDecoder::Components() const { return s_->ncomp; }
ColourModel JpegDecoder::Model() const { return s_->model; }
bool JpegDecoder::UsedParallel() const { return s_->usedParallel; }

}  // namespace vt
