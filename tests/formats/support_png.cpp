#include "support_png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vt::test {

namespace {

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

bool Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool DecodePng(const std::string& bytes, PngImage* out, std::string* error) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t size = bytes.size();
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return Fail(error, "no signature");

  uint32_t width = 0, height = 0, depth = 0, type = 0;
  std::vector<uint8_t> palette;  // 4 bytes per entry
  std::vector<uint8_t> trns;
  std::string idat;
  bool sawHeader = false;
  for (size_t pos = 8; pos + 12 <= size;) {
    const uint32_t length = Be32(data + pos);
    if (length > size - pos - 12) return Fail(error, "chunk overruns the file");
    const std::string tag(reinterpret_cast<const char*>(data + pos + 4), 4);
    const uint8_t* body = data + pos + 8;
    if (tag == "IHDR") {
      if (length < 13) return Fail(error, "short IHDR");
      width = Be32(body);
      height = Be32(body + 4);
      depth = body[8];
      type = body[9];
      if (body[12] != 0) return Fail(error, "interlaced");
      sawHeader = true;
    } else if (tag == "PLTE") {
      for (uint32_t i = 0; i + 3 <= length; i += 3) {
        palette.insert(palette.end(), {body[i], body[i + 1], body[i + 2], 255});
      }
    } else if (tag == "tRNS") {
      trns.assign(body, body + length);
    } else if (tag == "IDAT") {
      idat.append(reinterpret_cast<const char*>(body), length);
    } else if (tag == "IEND") {
      break;
    }
    pos += size_t{length} + 12;
  }
  if (!sawHeader || width == 0 || height == 0 || width > 65536 || height > 65536)
    return Fail(error, "bad header");

  uint32_t channels = 0;
  switch (type) {
    case 0: channels = 1; break;
    case 2: channels = 3; break;
    case 3: channels = 1; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return Fail(error, "colour type");
  }
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
    return Fail(error, "bit depth");
  const size_t bitsPerPixel = size_t{channels} * depth;
  const size_t rowBytes = (size_t{width} * bitsPerPixel + 7) / 8;
  const size_t pixelBytes = std::max<size_t>(1, bitsPerPixel / 8);

  std::vector<uint8_t> raw((rowBytes + 1) * height);
  uLongf rawSize = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()),
                 static_cast<uLong>(idat.size())) != Z_OK ||
      rawSize != raw.size())
    return Fail(error, "inflate");

  // Undo the filters in place, row by row.
  std::vector<uint8_t> prior(rowBytes, 0);
  std::vector<uint8_t> rows(rowBytes * height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t filter = raw[y * (rowBytes + 1)];
    uint8_t* cur = &rows[y * rowBytes];
    std::memcpy(cur, &raw[y * (rowBytes + 1) + 1], rowBytes);
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= pixelBytes ? cur[i - pixelBytes] : 0;
      const int b = prior[i];
      const int c = i >= pixelBytes ? prior[i - pixelBytes] : 0;
      int add = 0;
      switch (filter) {
        case 0: add = 0; break;
        case 1: add = a; break;
        case 2: add = b; break;
        case 3: add = (a + b) / 2; break;
        case 4: add = Paeth(a, b, c); break;
        default: return Fail(error, "filter");
      }
      cur[i] = static_cast<uint8_t>(cur[i] + add);
    }
    std::memcpy(prior.data(), cur, rowBytes);
  }

  out->width = width;
  out->height = height;
  out->sampleBits = depth == 16 ? 16 : 8;
  out->rgba.assign(size_t{width} * height * 4, 0);
  const uint32_t maxSample = depth == 16 ? 65535 : 255;
  auto sample = [&](const uint8_t* row, size_t index) -> uint32_t {
    if (depth == 16) return uint32_t{row[2 * index]} << 8 | row[2 * index + 1];
    if (depth == 8) return row[index];
    const size_t bit = index * depth;
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
  };
  // Scales a low-depth grey level to 8 bits; 8 and 16 stay as they are.
  auto scale = [&](uint32_t v) { return depth < 8 ? v * 255 / ((1u << depth) - 1) : v; };
  // The transparent grey or colour, in raw sample values.
  auto trnsSample = [&](size_t i) -> uint32_t {
    return trns.size() >= 2 * i + 2 ? (uint32_t{trns[2 * i]} << 8 | trns[2 * i + 1]) : 0xFFFFFFFFu;
  };

  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = &rows[y * rowBytes];
    for (uint32_t x = 0; x < width; ++x) {
      uint16_t* o = &out->rgba[(size_t{y} * width + x) * 4];
      switch (type) {
        case 0: {
          const uint32_t v = sample(row, x);
          o[0] = o[1] = o[2] = static_cast<uint16_t>(scale(v));
          o[3] = static_cast<uint16_t>(v == trnsSample(0) ? 0 : maxSample);
          break;
        }
        case 2: {
          const uint32_t r = sample(row, 3 * x), g = sample(row, 3 * x + 1),
                         b = sample(row, 3 * x + 2);
          o[0] = static_cast<uint16_t>(r);
          o[1] = static_cast<uint16_t>(g);
          o[2] = static_cast<uint16_t>(b);
          const bool clear = r == trnsSample(0) && g == trnsSample(1) && b == trnsSample(2);
          o[3] = static_cast<uint16_t>(clear ? 0 : maxSample);
          break;
        }
        case 3: {
          const uint32_t i = sample(row, x);
          if (4 * size_t{i} + 4 > palette.size()) return Fail(error, "index beyond palette");
          o[0] = palette[4 * i];
          o[1] = palette[4 * i + 1];
          o[2] = palette[4 * i + 2];
          o[3] = i < trns.size() ? trns[i] : 255;
          break;
        }
        case 4:
          o[0] = o[1] = o[2] = static_cast<uint16_t>(sample(row, 2 * x));
          o[3] = static_cast<uint16_t>(sample(row, 2 * x + 1));
          break;
        case 6:
          for (int c = 0; c < 4; ++c) o[c] = static_cast<uint16_t>(sample(row, 4 * x + c));
          break;
      }
    }
  }
  return true;
}

}  // namespace vt::test
