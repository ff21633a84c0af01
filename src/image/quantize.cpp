#include "image/quantize.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/stripe_split.h"

namespace vt {

namespace {

constexpr uint32_t kMinPixelsPerStripe = 32768;

template <class T>
std::unique_ptr<T[]> TryAllocate(size_t n) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

inline uint32_t Pixel(const uint8_t* row, uint32_t x) {
  uint32_t v;
  std::memcpy(&v, row + 4 * x, 4);
  return v;
}
inline int Channel(uint32_t c, int k) { return static_cast<int>((c >> (8 * k)) & 0xFF); }

// Nearest palette entry by squared distance, searched outwards from the pixel's
// green level over the entries sorted by green: once the green distance alone
// exceeds the best distance, nothing further out can win.
class NearestFinder {
 public:
  NearestFinder(const uint32_t* palette, uint32_t count) : count_(count) {
    for (uint32_t i = 0; i < count; ++i) {
      entries_[i] = {Channel(palette[i], 0), Channel(palette[i], 1), Channel(palette[i], 2),
                     Channel(palette[i], 3), i};
    }
    std::sort(entries_, entries_ + count, [](const Entry& a, const Entry& b) {
      return a.g != b.g ? a.g < b.g : a.index < b.index;
    });
  }

  uint32_t Find(uint32_t colour) const {
    const int b = Channel(colour, 0), g = Channel(colour, 1), r = Channel(colour, 2),
              a = Channel(colour, 3);
    int hi = static_cast<int>(std::lower_bound(entries_, entries_ + count_, g,
                                               [](const Entry& e, int v) { return e.g < v; }) -
                              entries_);
    int lo = hi - 1;
    uint32_t best = UINT32_MAX, bestIndex = 0;
    auto consider = [&](const Entry& e) {
      const int db = e.b - b, dg = e.g - g, dr = e.r - r, da = e.a - a;
      const uint32_t d = static_cast<uint32_t>(db * db + dg * dg + dr * dr + da * da);
      if (d < best || (d == best && e.index < bestIndex)) {
        best = d;
        bestIndex = e.index;
      }
    };
    const int n = static_cast<int>(count_);
    while (lo >= 0 || hi < n) {
      if (hi < n) {
        const int dg = entries_[hi].g - g;
        if (static_cast<uint32_t>(dg * dg) > best) {
          hi = n;
        } else {
          consider(entries_[hi]);
          ++hi;
        }
      }
      if (lo >= 0) {
        const int dg = g - entries_[lo].g;
        if (static_cast<uint32_t>(dg * dg) > best) {
          lo = -1;
        } else {
          consider(entries_[lo]);
          --lo;
        }
      }
    }
    return bestIndex;
  }

 private:
  struct Entry {
    int b, g, r, a;
    uint32_t index;
  };
  Entry entries_[256];
  uint32_t count_;
};

// Small open-addressing map from exact colour to palette index.
class ColourTable {
 public:
  static constexpr uint32_t kSize = 1024;  // more than four times 256 entries
  bool Insert(uint32_t colour) {
    uint32_t h = Hash(colour);
    while (used_[h]) {
      if (keys_[h] == colour) return false;
      h = (h + 1) & (kSize - 1);
    }
    used_[h] = true;
    keys_[h] = colour;
    return true;
  }
  void Set(uint32_t colour, uint8_t index) {
    uint32_t h = Hash(colour);
    while (keys_[h] != colour) h = (h + 1) & (kSize - 1);
    values_[h] = index;
  }
  uint8_t Get(uint32_t colour) const {
    uint32_t h = Hash(colour);
    while (keys_[h] != colour) h = (h + 1) & (kSize - 1);
    return values_[h];
  }

 private:
  static uint32_t Hash(uint32_t c) { return (c * 2654435761u) >> 22; }
  uint32_t keys_[kSize] = {};
  uint8_t values_[kSize] = {};
  bool used_[kSize] = {};
};

// The distinct colours when there are at most maxColours of them; nothing otherwise.
bool ExactPalette(const RawPlane& source, const RawPlane& indices, uint32_t maxColours,
                  uint32_t* palette, uint32_t* count) {
  auto table = std::unique_ptr<ColourTable>(new (std::nothrow) ColourTable());
  if (!table) return false;
  uint32_t n = 0;
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint8_t* row = source.Row(y);
    uint32_t last = 0;
    bool haveLast = false;
    for (uint32_t x = 0; x < source.width; ++x) {
      const uint32_t c = Pixel(row, x);
      if (haveLast && c == last) continue;
      last = c;
      haveLast = true;
      if (table->Insert(c)) {
        if (n == maxColours) return false;
        palette[n++] = c;
      }
    }
  }
  std::sort(palette, palette + n);
  for (uint32_t i = 0; i < n; ++i) table->Set(palette[i], static_cast<uint8_t>(i));
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint8_t* row = source.Row(y);
    uint8_t* out = indices.Row(y);
    for (uint32_t x = 0; x < source.width; ++x) out[x] = table->Get(Pixel(row, x));
  }
  *count = n;
  return true;
}

constexpr uint32_t kHistogramBits = 5;
constexpr uint32_t kHistogramSize = 1u << (4 * kHistogramBits);

inline uint32_t BucketOf(uint32_t c) {
  constexpr uint32_t s = 8 - kHistogramBits;
  return ((c >> s) & 0x1F) | ((c >> (8 + s)) & 0x1F) << 5 | ((c >> (16 + s)) & 0x1F) << 10 |
         ((c >> (24 + s)) & 0x1F) << 15;
}

struct Bucket {
  uint32_t key;
  uint32_t count;
  int channel[4];
};

struct Box {
  uint32_t begin, end;
  double score;  // summed squared deviation over all channels; -1 when unsplittable
  int axis;      // the channel of the largest deviation
};

Box MakeBox(const std::vector<Bucket>& buckets, uint32_t begin, uint32_t end) {
  Box box{begin, end, -1.0, 0};
  if (end - begin < 2) return box;
  double w = 0, sum[4] = {}, sq[4] = {};
  for (uint32_t i = begin; i < end; ++i) {
    const double c = buckets[i].count;
    w += c;
    for (int k = 0; k < 4; ++k) {
      sum[k] += c * buckets[i].channel[k];
      sq[k] += c * buckets[i].channel[k] * buckets[i].channel[k];
    }
  }
  double total = 0, bestDev = -1;
  for (int k = 0; k < 4; ++k) {
    const double dev = sq[k] - sum[k] * sum[k] / w;
    total += dev;
    if (dev > bestDev) {
      bestDev = dev;
      box.axis = k;
    }
  }
  box.score = total;
  return box;
}

bool MedianCutPalette(const RawPlane& source, uint32_t maxColours, uint32_t* palette,
                      uint32_t* count) {
  auto histogram = TryAllocate<uint32_t>(kHistogramSize);
  if (!histogram) return false;
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint8_t* row = source.Row(y);
    for (uint32_t x = 0; x < source.width; ++x) ++histogram[BucketOf(Pixel(row, x))];
  }
  std::vector<Bucket> buckets;
  std::vector<Box> boxes;
  try {
    for (uint32_t key = 0; key < kHistogramSize; ++key) {
      if (!histogram[key]) continue;
      Bucket b{key, histogram[key], {}};
      for (int k = 0; k < 4; ++k) b.channel[k] = static_cast<int>((key >> (5 * k)) & 0x1F);
      buckets.push_back(b);
    }
    boxes.reserve(maxColours);
  } catch (const std::bad_alloc&) {
    return false;
  }
  boxes.push_back(MakeBox(buckets, 0, static_cast<uint32_t>(buckets.size())));
  while (boxes.size() < maxColours) {
    size_t pick = boxes.size();
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].score > 0 && (pick == boxes.size() || boxes[i].score > boxes[pick].score))
        pick = i;
    if (pick == boxes.size()) break;
    const Box box = boxes[pick];
    const int axis = box.axis;
    std::sort(buckets.begin() + box.begin, buckets.begin() + box.end,
              [axis](const Bucket& a, const Bucket& b) {
                return a.channel[axis] != b.channel[axis] ? a.channel[axis] < b.channel[axis]
                                                          : a.key < b.key;
              });
    uint64_t total = 0;
    for (uint32_t i = box.begin; i < box.end; ++i) total += buckets[i].count;
    uint64_t running = 0;
    uint32_t split = box.begin + 1;
    for (uint32_t i = box.begin; i < box.end - 1; ++i) {
      running += buckets[i].count;
      split = i + 1;
      if (2 * running >= total) break;
    }
    boxes[pick] = MakeBox(buckets, box.begin, split);
    boxes.push_back(MakeBox(buckets, split, box.end));
  }

  // Each entry is the mean of the exact colours of its box's pixels.
  auto boxOf = TryAllocate<uint8_t>(kHistogramSize);
  if (!boxOf) return false;
  for (size_t i = 0; i < boxes.size(); ++i)
    for (uint32_t j = boxes[i].begin; j < boxes[i].end; ++j)
      boxOf[buckets[j].key] = static_cast<uint8_t>(i);
  uint64_t sums[256][5] = {};
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint8_t* row = source.Row(y);
    for (uint32_t x = 0; x < source.width; ++x) {
      const uint32_t c = Pixel(row, x);
      uint64_t* s = sums[boxOf[BucketOf(c)]];
      for (int k = 0; k < 4; ++k) s[k] += static_cast<uint64_t>(Channel(c, k));
      ++s[4];
    }
  }
  for (size_t i = 0; i < boxes.size(); ++i) {
    const uint64_t n = sums[i][4];
    uint32_t c = 0;
    for (int k = 0; k < 4; ++k)
      c |= static_cast<uint32_t>(n ? (sums[i][k] + n / 2) / n : 0) << (8 * k);
    palette[i] = c;
  }
  *count = static_cast<uint32_t>(boxes.size());
  return true;
}

}  // namespace

bool MapToPalette(const RawPlane& source, const RawPlane& indices, const uint32_t* palette,
                  uint32_t count) {
  if (count == 0) return false;
  const NearestFinder finder(palette, count);
  std::atomic<bool> ok{true};
  ForEachStripe(source.width, source.height, kMinPixelsPerStripe, [&](const Stripe& s) {
    // Photographs repeat colours locally: a small direct-mapped memo of the last
    // answers avoids most searches.
    constexpr uint32_t kMemoSize = 4096;
    auto keys = TryAllocate<uint32_t>(kMemoSize);
    auto values = TryAllocate<uint16_t>(kMemoSize);
    if (!keys || !values) {
      ok = false;
      return;
    }
    for (uint32_t i = 0; i < kMemoSize; ++i) values[i] = 0xFFFF;
    for (uint32_t y = s.firstRow; y < s.endRow; ++y) {
      const uint8_t* row = source.Row(y);
      uint8_t* out = indices.Row(y);
      for (uint32_t x = 0; x < source.width; ++x) {
        const uint32_t c = Pixel(row, x);
        const uint32_t h = (c * 2654435761u) >> 20;
        if (values[h] == 0xFFFF || keys[h] != c) {
          keys[h] = c;
          values[h] = static_cast<uint16_t>(finder.Find(c));
        }
        out[x] = static_cast<uint8_t>(values[h]);
      }
    }
  });
  return ok;
}

uint32_t QuantizeBgra8(const RawPlane& source, const RawPlane& indices, uint32_t maxColours,
                       uint32_t* palette) {
  maxColours = std::clamp<uint32_t>(maxColours, 2, 256);
  uint32_t count = 0;
  if (ExactPalette(source, indices, maxColours, palette, &count)) return count;
  if (!MedianCutPalette(source, maxColours, palette, &count)) return 0;
  return MapToPalette(source, indices, palette, count) ? count : 0;
}

}  // namespace vt
