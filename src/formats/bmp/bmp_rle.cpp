#include "formats/bmp/bmp_rle.h"

#include <algorithm>
#include <cstring>

namespace vt {

namespace {

// The write position: one row of the plane and a column in it. Runs and deltas
// may carry the column past the right edge (the codes have no wrap); pixels
// there are dropped rather than spilled into the next row.
class RlePen {
 public:
  explicit RlePen(const PlaneView& plane) : plane_(plane) { SetRow(0); }

  // Rows count from the bottom of the image: the codes move "up".
  void SetRow(uint32_t fromBottom) { row_ = plane_.Row(plane_.height - 1 - fromBottom); }
  void SetColumn(uint64_t x) { x_ = x; }
  uint64_t Column() const { return x_; }

  void Fill(uint8_t index, size_t n) {
    if (x_ < plane_.width)
      std::memset(row_ + x_, index, static_cast<size_t>(std::min<uint64_t>(n, plane_.width - x_)));
    x_ += n;
  }
  // Two indices alternating, the first one first (4-bit encoded runs).
  void FillPair(uint8_t first, uint8_t second, size_t n) {
    for (size_t i = 0; i < n; ++i) Put((i & 1) ? second : first);
  }
  void Put(uint8_t index) {
    if (x_ < plane_.width) row_[x_] = index;
    ++x_;
  }

 private:
  const PlaneView& plane_;
  uint8_t* row_ = nullptr;
  uint64_t x_ = 0;
};

}  // namespace

void DecodeBmpRle(ByteCursor stream, const PlaneView& plane, BmpRleCodes codes,
                  const CancelFlag* cancel) {
  const uint32_t height = plane.height;
  if (!plane || height == 0 || plane.width == 0) return;
  const bool fourBit = codes == BmpRleCodes::Rle4;

  uint32_t row = 0;  // from the bottom
  RlePen pen(plane);

  while (stream.Has(2)) {
    const uint8_t count = stream.U8();
    const uint8_t value = stream.U8();
    if (count != 0) {
      if (fourBit) {
        pen.FillPair(value >> 4, value & 15, count);
      } else {
        pen.Fill(value, count);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        if (++row >= height) return;
        if (IsCancelled(cancel)) return;
        pen.SetRow(row);
        pen.SetColumn(0);
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta: right dx, up dy
        const uint8_t dx = stream.U8();
        const uint8_t dy = stream.U8();
        if (!stream.Ok()) return;
        if (dy >= height - row) return;
        row += dy;
        pen.SetRow(row);
        pen.SetColumn(pen.Column() + dx);
        break;
      }
      default: {  // absolute run of `value` pixels
        const size_t bytes = fourBit ? (size_t{value} + 1) / 2 : value;
        const size_t have = std::min(bytes, stream.Remaining());
        std::span<const uint8_t> run = stream.Bytes(have);
        if (fourBit) {
          for (size_t i = 0; i < value && i / 2 < run.size(); ++i)
            pen.Put((i & 1) ? (run[i / 2] & 15) : (run[i / 2] >> 4));
        } else {
          for (uint8_t v : run) pen.Put(v);
        }
        if (have < bytes) return;  // the stream ends inside the run
        // Runs are padded to a 16-bit boundary of the stream.
        if (stream.Position() & 1) stream.Skip(1);
        break;
      }
    }
  }
}

}  // namespace vt
