// The public Radiance samples (image-rs test images: run-length, flat with the
// old repeat pixels, tiny and a scale) against the renderings beside them:
// 32-bit float RGB TIFFs, Deflate with the floating-point predictor, read here
// by a minimal TIFF reader. Compared in linear light (the load pipeline's sRGB
// encoding undone) within half a mantissa step of the largest component, the
// most a renderer that leaves out the formula's + 0.5 can differ.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "hdr_iff_webp_util.h"

namespace vt {
namespace {

struct FloatTiff {
  uint32_t width = 0, height = 0;
  std::vector<float> rgb;
};

uint32_t Get(const std::string& d, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(d.at(at + i));
  return v;
}

// Little-endian, 3 samples of 32-bit float, chunky, one IFD: what the
// renderings are. Anything else fails.
bool ReadFloatTiff(const std::string& d, FloatTiff* out, std::string* why) {
  if (d.size() < 8 || d.compare(0, 4, std::string("II*\0", 4)) != 0) return *why = "not II", false;
  const size_t ifd = Get(d, 4, 4);
  const uint32_t n = Get(d, ifd, 2);
  uint32_t compression = 1, predictor = 1, spp = 0, bits = 0, format = 0, rowsPerStrip = 0;
  std::vector<uint32_t> offsets, counts;
  for (uint32_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const uint32_t tag = Get(d, e, 2), type = Get(d, e + 2, 2), count = Get(d, e + 4, 4);
    const int size = type == 3 ? 2 : 4;
    auto value = [&](uint32_t k) {
      const size_t at = size * count <= 4 ? e + 8 : Get(d, e + 8, 4);
      return Get(d, at + k * size, size);
    };
    switch (tag) {
      case 256: out->width = value(0); break;
      case 257: out->height = value(0); break;
      case 258: bits = value(0); break;
      case 259: compression = value(0); break;
      case 277: spp = value(0); break;
      case 278: rowsPerStrip = value(0); break;
      case 317: predictor = value(0); break;
      case 339: format = value(0); break;
      case 273: for (uint32_t k = 0; k < count; ++k) offsets.push_back(value(k)); break;
      case 279: for (uint32_t k = 0; k < count; ++k) counts.push_back(value(k)); break;
      default: break;
    }
  }
  if (spp != 3 || bits != 32 || format != 3) return *why = "not float RGB", false;
  if (compression != 8 && compression != 1) return *why = "compression", false;
  if (!rowsPerStrip) rowsPerStrip = out->height;
  const size_t rowBytes = size_t{out->width} * 12;
  std::string raw;
  for (size_t s = 0; s < offsets.size(); ++s) {
    const uint32_t rows = std::min(rowsPerStrip, out->height - static_cast<uint32_t>(s) * rowsPerStrip);
    std::string strip(rowBytes * rows, '\0');
    if (compression == 8) {
      uLongf len = strip.size();
      if (uncompress(reinterpret_cast<Bytef*>(strip.data()), &len,
                     reinterpret_cast<const Bytef*>(d.data() + offsets[s]), counts[s]) != Z_OK ||
          len != strip.size())
        return *why = "inflate", false;
    } else {
      strip = d.substr(offsets[s], strip.size());
    }
    raw += strip;
  }
  if (raw.size() != rowBytes * out->height) return *why = "size", false;
  out->rgb.resize(size_t{out->width} * out->height * 3);
  const size_t wc = size_t{out->width} * 3;
  std::vector<uint8_t> row(rowBytes);
  for (uint32_t y = 0; y < out->height; ++y) {
    std::memcpy(row.data(), raw.data() + y * rowBytes, rowBytes);
    if (predictor == 3) {
      // Byte differences with a distance of one pixel, then byte planes,
      // most significant first.
      for (size_t i = 3; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - 3]);
      std::vector<uint8_t> tmp(row);
      for (size_t c = 0; c < wc; ++c)
        for (int b = 0; b < 4; ++b) row[4 * c + b] = tmp[(3 - b) * wc + c];
    } else if (predictor != 1) {
      return *why = "predictor", false;
    }
    std::memcpy(out->rgb.data() + y * wc, row.data(), rowBytes);
  }
  return true;
}

float Linear(float v) {
  return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

TEST(HdrCorpus, ImageRsSamplesMatchTheirRenderings) {
  const std::string dir = test::CorpusPath("image-rs/tests/");
  if (!test::FileExists(dir + "images/hdr/images/image1.hdr")) GTEST_SKIP() << "no corpus";
  for (const char* name : {"image1.hdr", "old-rle.hdr", "rgbr4x4.hdr", "scale.hdr"}) {
    SCOPED_TRACE(name);
    FloatTiff ref;
    std::string why;
    ASSERT_TRUE(ReadFloatTiff(
        test::ReadFileBytes(dir + "reference/hdr/images/" + name + ".tiff"), &ref, &why))
        << why;
    test::Loaded d = test::LoadPath(dir + "images/hdr/images/" + name);
    ASSERT_EQ(d.status, status::kOk);
    ASSERT_EQ(d.image->Width(), ref.width);
    ASSERT_EQ(d.image->Height(), ref.height);
    double worst = 0;
    for (uint32_t y = 0; y < ref.height; ++y) {
      const float* row = reinterpret_cast<const float*>(d.image->Row(y));
      for (uint32_t x = 0; x < ref.width; ++x) {
        const float* want = &ref.rgb[(size_t{y} * ref.width + x) * 3];
        const float most = std::max({want[0], want[1], want[2]});
        for (int c = 0; c < 3; ++c) {
          const float got = Linear(row[4 * x + 2 - c]);
          const double error = std::fabs(got - want[c]);
          ASSERT_LE(error, most / 256 + most * 1e-4 + 1e-30) << x << "," << y << " c" << c;
          worst = std::max(worst, most > 0 ? error / most : 0.0);
        }
      }
    }
    RecordProperty(std::string("worst_relative_") + name, std::to_string(worst));
  }
}

}  // namespace
}  // namespace vt
