// The Radiance reader on pictures built here byte by byte: probe, header lines,
// the resolution line's eight forms, the exponent formula, both scanline codes,
// XYZE channel order and truncation; then pictures written by ImageMagick.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "formats/hdr/hdr_reader.h"
#include "hdr_iff_webp_util.h"
#include "image/colour_models.h"

namespace vt {
namespace {

using test::LoadBytes;
using test::Loaded;

std::string Header(const std::string& resolution, const std::string& extra = "") {
  return "#?RADIANCE\n" + extra + "FORMAT=32-bit_rle_rgbe\n\n" + resolution + "\n";
}

std::string Pixels(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

Loaded Load(const std::string& bytes) { return LoadBytes(bytes, u"t.hdr"); }

// What the load pipeline makes of an RGBE pixel: the linear value through the
// sRGB transfer function.
float Encoded(uint8_t m, uint8_t e) {
  const uint8_t p[4] = {m, m, m, e};
  float f[3];
  RgbeToFloat(p, f);
  return SrgbTransfer(f[0]);
}

const float* PixelF(ImageBuffer* image, uint32_t x, uint32_t y) {
  return reinterpret_cast<const float*>(image->Row(y)) + 4 * size_t{x};
}

TEST(HdrProbe, Signatures) {
  auto probe = [](const std::string& s) { return ProbeHdr(*MakeMemorySource(u"p.hdr", s)); };
  EXPECT_EQ(probe("#?RADIANCE\n"), status::kOk);
  EXPECT_EQ(probe("#?RGBE\nXXXXX"), status::kOk);
  EXPECT_EQ(probe("#?RGBE\nXXX"), status::kUnknownFormat);  // 10 bytes
  EXPECT_EQ(probe("#?RADIANC\nXXXXX"), status::kUnknownFormat);
  EXPECT_EQ(probe("P6\n1 1\n255\nxyz"), status::kUnknownFormat);
}

TEST(HdrHeader, ExponentFormula) {
  const uint8_t p[4] = {128, 64, 32, 128};
  float f[3];
  RgbeToFloat(p, f);
  EXPECT_EQ(f[0], 0.501953125f);
  EXPECT_EQ(f[1], 0.251953125f);
  EXPECT_EQ(f[2], 0.126953125f);
  const uint8_t zero[4] = {200, 100, 50, 0};
  RgbeToFloat(zero, f);
  EXPECT_EQ(f[0], 0.0f);
  EXPECT_EQ(f[2], 0.0f);
  // The smallest exponent still gives exact (denormal) values.
  const uint8_t tiny[4] = {255, 0, 1, 1};
  RgbeToFloat(tiny, f);
  EXPECT_EQ(f[0], std::ldexp(255.5f, -135));
  EXPECT_EQ(f[1], std::ldexp(0.5f, -135));
  const uint8_t huge[4] = {255, 255, 255, 255};
  RgbeToFloat(huge, f);
  EXPECT_EQ(f[0], std::ldexp(255.5f, 119));
}

TEST(HdrHeader, ResolutionFormsAndOrientation) {
  struct Form {
    const char* line;
    uint32_t width, height;  // of the buffer: scanline length, scanline count
    const char* orientation;
  };
  const Form forms[] = {
      {"-Y 2 +X 3", 3, 2, nullptr},
      {"-Y 2 -X 3", 3, 2, "Mirrored"},
      {"+Y 2 -X 3", 3, 2, "Rotated 180"},
      {"+Y 2 +X 3", 3, 2, "Bottom-Up"},
      {"+X 3 +Y 2", 2, 3, "Rotated 90"},
      {"-X 3 +Y 2", 2, 3, "Rotated 90 & Bottom-Up"},
      {"-X 3 -Y 2", 2, 3, "Rotated 270"},
      {"+x 3 -y 2", 2, 3, "Rotated 270 & Bottom-Up"},
  };
  for (const Form& f : forms) {
    std::string file = Header(f.line);
    file += std::string(6 * 4, '\x80');
    Loaded d = Load(file);
    ASSERT_EQ(d.status, status::kOk) << f.line;
    EXPECT_EQ(d.reader->Width(), f.width) << f.line;
    EXPECT_EQ(d.reader->Height(), f.height) << f.line;
    EXPECT_EQ(d.reader->OutputFormat(), PixelFormat::BgraFloat);
    EXPECT_EQ(d.reader->BitDepth(), 32u);
    EXPECT_EQ(d.reader->Alpha(), AlphaMode::None);
    const std::u16string* o = d.reader->Properties().Get(PropertyId::Orientation);
    if (f.orientation) {
      ASSERT_TRUE(o) << f.line;
      EXPECT_EQ(*o, AsciiToUtf16(f.orientation));
    } else {
      EXPECT_EQ(o, nullptr) << f.line;
    }
  }
}

TEST(HdrHeader, LinesAndRejections) {
  auto status = [](const std::string& s) {
    RefPtr<ImageReader> r;
    return test::HiwRegistry().OpenReader(MakeMemorySource(u"t.hdr", s).get(), &r);
  };
  // Comments: the first non-empty one, trimmed; variables other than the format
  // are ignored; the keyword's case does not matter.
  RefPtr<ImageReader> r;
  ASSERT_EQ(test::HiwRegistry().OpenReader(
                MakeMemorySource(u"t.hdr", "#?RGBE\n#   \n#  made here  \n# later\nEXPOSURE=2\n"
                                           "format=32-bit_rle_xyze\n\n-Y 1 +X 1\n\x80\x80\x80\x80")
                    .get(),
                &r),
            status::kOk);
  EXPECT_EQ(*r->Properties().Get(PropertyId::Comment), u"made here");
  EXPECT_EQ(r->Model(), ColourModel::Xyz);

  EXPECT_EQ(status("#?RADIANCE\nFORMAT=32-bit_rle_rgbf\n\n-Y 1 +X 1\n1234"),
            status::kUnsupportedSubformat);
  // No resolution line at all.
  EXPECT_EQ(status("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n"), status::kUnknownFormat);
  for (const char* bad : {"-Y 0 +X 3", "-Y 2 +Y 3", "-Y 2 +X", "-Y 2 +X 3 4", "-Y 2 *X 3",
                          "-Y 99999999 +X 99999999", "-Y 2 +X 3x"}) {
    EXPECT_EQ(status(Header(bad) + "1234"), status::kDamaged) << bad;
  }
}

TEST(HdrDecode, FlatPixelsAndRepeats) {
  // 12 pixels in one scanline: two plain pixels, a repeat of 3, a plain one,
  // then a repeat whose count spans two repeat pixels (2 + (0 << 8)) ... and a
  // 256-count that would pass the end of the next scanline.
  std::string file = Header("-Y 3 +X 6");
  file += Pixels({128, 64, 32, 128, 10, 20, 30, 129});
  file += Pixels({1, 1, 1, 3});  // three more of (10, 20, 30, 129)
  file += Pixels({200, 0, 0, 130});
  // Row 2: a leading repeat copies the last pixel of row 1.
  file += Pixels({1, 1, 1, 2, 1, 1, 1, 0});  // 2 + (0 << 8)
  file += Pixels({5, 5, 5, 128, 6, 6, 6, 128, 7, 7, 7, 128, 8, 8, 8, 128});
  // Row 3: a count of 1 << 8 overruns the scanline: row 3 stays black.
  file += Pixels({9, 9, 9, 128, 1, 1, 1, 0, 1, 1, 1, 1});
  Loaded d = Load(file);
  ASSERT_EQ(d.status, status::kOk);
  const float* p = PixelF(d.image.get(), 0, 0);
  EXPECT_EQ(p[2], SrgbTransfer(0.501953125f));  // red
  EXPECT_EQ(p[1], SrgbTransfer(0.251953125f));
  EXPECT_EQ(p[0], SrgbTransfer(0.126953125f));  // blue
  EXPECT_EQ(p[3], 1.0f);
  for (uint32_t x = 1; x <= 4; ++x) {
    EXPECT_EQ(PixelF(d.image.get(), x, 0)[2], Encoded(10, 129)) << x;
    EXPECT_EQ(PixelF(d.image.get(), x, 0)[0], Encoded(30, 129)) << x;
  }
  EXPECT_EQ(PixelF(d.image.get(), 5, 0)[2], Encoded(200, 130));
  EXPECT_EQ(PixelF(d.image.get(), 5, 0)[1], 0.0f + Encoded(0, 130));
  for (uint32_t x = 0; x < 2; ++x) EXPECT_EQ(PixelF(d.image.get(), x, 1)[2], Encoded(200, 130));
  EXPECT_EQ(PixelF(d.image.get(), 2, 1)[2], Encoded(5, 128));
  EXPECT_EQ(PixelF(d.image.get(), 5, 1)[2], Encoded(8, 128));
  for (uint32_t x = 0; x < 6; ++x) {
    const float* q = PixelF(d.image.get(), x, 2);
    EXPECT_EQ(q[0] + q[1] + q[2], 0.0f) << x;
    EXPECT_EQ(q[3], 1.0f);
  }
}

// A run-length scanline: the marker, then each component in runs and literals.
std::string RleScanline(const std::vector<std::vector<uint8_t>>& components) {
  std::string s;
  const size_t width = components[0].size();
  s += Pixels({2, 2, static_cast<int>(width >> 8), static_cast<int>(width & 0xFF)});
  for (const std::vector<uint8_t>& c : components) {
    size_t x = 0;
    while (x < width) {
      size_t run = 1;
      while (x + run < width && c[x + run] == c[x] && run < 127) ++run;
      if (run >= 3) {
        s.push_back(static_cast<char>(128 + run));
        s.push_back(static_cast<char>(c[x]));
        x += run;
      } else {
        size_t n = std::min<size_t>(width - x, 128);
        // Literal up to the next run of 3.
        size_t k = 0;
        while (k < n) {
          if (x + k + 2 < width && c[x + k] == c[x + k + 1] && c[x + k] == c[x + k + 2]) break;
          ++k;
        }
        s.push_back(static_cast<char>(k));
        for (size_t i = 0; i < k; ++i) s.push_back(static_cast<char>(c[x + i]));
        x += k;
      }
    }
  }
  return s;
}

TEST(HdrDecode, RunLengthScanlines) {
  const uint32_t width = 9;
  std::vector<std::vector<uint8_t>> rows[2];
  for (int r = 0; r < 2; ++r) {
    rows[r].resize(4);
    for (uint32_t x = 0; x < width; ++x) {
      rows[r][0].push_back(static_cast<uint8_t>(x < 5 ? 100 : 7 * x + r));
      rows[r][1].push_back(static_cast<uint8_t>(50 + r));
      rows[r][2].push_back(static_cast<uint8_t>(x * 13));
      rows[r][3].push_back(static_cast<uint8_t>(x == 4 ? 0 : 126 + r));
    }
  }
  std::string file = Header("-Y 2 +X 9") + RleScanline(rows[0]) + RleScanline(rows[1]);
  Loaded d = Load(file);
  ASSERT_EQ(d.status, status::kOk);
  for (int r = 0; r < 2; ++r) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t rgbe[4] = {rows[r][0][x], rows[r][1][x], rows[r][2][x], rows[r][3][x]};
      float f[3];
      RgbeToFloat(rgbe, f);
      const float* p = PixelF(d.image.get(), x, static_cast<uint32_t>(r));
      EXPECT_EQ(p[2], SrgbTransfer(f[0])) << r << "," << x;
      EXPECT_EQ(p[1], SrgbTransfer(f[1])) << r << "," << x;
      EXPECT_EQ(p[0], SrgbTransfer(f[2])) << r << "," << x;
    }
  }

  // A run that passes the end of the scanline ends decoding there.
  std::string bad = Header("-Y 2 +X 9") + RleScanline(rows[0]);
  bad += Pixels({2, 2, 0, 9, 128 + 10, 1});
  bad += std::string(64, '\x01');
  Loaded b = Load(bad);
  ASSERT_EQ(b.status, status::kOk);
  EXPECT_EQ(0, std::memcmp(b.image->Row(0), d.image->Row(0), width * 16));
  EXPECT_EQ(PixelF(b.image.get(), 3, 1)[2], 0.0f);

  // Widths below 8 are never run-length coded: 2, 2, 0, 7 is a plain pixel.
  std::string narrow = Header("-Y 1 +X 7") + Pixels({2, 2, 0, 7}) + std::string(24, '\x80');
  Loaded n = Load(narrow);
  ASSERT_EQ(n.status, status::kOk);
  EXPECT_EQ(PixelF(n.image.get(), 0, 0)[2], Encoded(2, 7));
}

TEST(HdrDecode, XyzKeepsChannelOrderForTheConversion) {
  std::string file = "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 1 +X 1\n";
  file += Pixels({200, 120, 40, 128});
  Loaded d = Load(file);
  ASSERT_EQ(d.status, status::kOk);
  const uint8_t rgbe[4] = {200, 120, 40, 128};
  float xyz[4];
  RgbeToFloat(rgbe, xyz);
  xyz[3] = 1.0f;
  XyzToBgraFloat(xyz, 1);
  const float* p = PixelF(d.image.get(), 0, 0);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(p[c], xyz[c]) << c;
  // Red dominates a picture with much more X than Z.
  EXPECT_GT(p[2], p[0]);
}

TEST(HdrDecode, EveryPrefixGivesTheWholeScanlinesThatArrived) {
  const uint32_t width = 10, height = 4;
  std::vector<std::string> lines;
  for (uint32_t y = 0; y < height; ++y) {
    std::vector<std::vector<uint8_t>> c(4);
    for (uint32_t x = 0; x < width; ++x) {
      c[0].push_back(static_cast<uint8_t>(x < 6 ? 90 : x * 20 + y));
      c[1].push_back(static_cast<uint8_t>(y * 30 + 1));
      c[2].push_back(static_cast<uint8_t>(x * 7));
      c[3].push_back(130);
    }
    if (y == 2) {
      // A flat scanline between run-length ones.
      std::string flat;
      for (uint32_t x = 0; x < width; ++x)
        flat += Pixels({c[0][x], c[1][x], c[2][x], c[3][x]});
      lines.push_back(flat);
    } else {
      lines.push_back(RleScanline(c));
    }
  }
  const std::string header = Header("-Y 4 +X 10", "# prefix test\n");
  std::string whole = header;
  for (const std::string& l : lines) whole += l;
  Loaded full = Load(whole);
  ASSERT_EQ(full.status, status::kOk);
  for (size_t n = 0; n < whole.size(); ++n) {
    Loaded part = Load(whole.substr(0, n));
    if (n < header.size()) {
      // Up to the resolution line's end nothing is a picture yet (the line may
      // still be growing: then it is a smaller, black picture).
      if (Succeeded(part.status)) {
        for (uint32_t y = 0; y < part.image->Height(); ++y)
          for (uint32_t x = 0; x < part.image->Width(); ++x)
            ASSERT_EQ(PixelF(part.image.get(), x, y)[2], 0.0f) << n;
      }
      continue;
    }
    ASSERT_EQ(part.status, status::kOk) << n;
    size_t end = header.size();
    for (uint32_t y = 0; y < height; ++y) {
      end += lines[y].size();
      const bool whole_line = n >= end;
      for (uint32_t x = 0; x < width; ++x) {
        const float* got = PixelF(part.image.get(), x, y);
        const float* want = PixelF(full.image.get(), x, y);
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(got[c], whole_line ? want[c] : 0.0f) << "prefix " << n << " row " << y;
      }
    }
  }
}

TEST(HdrDecode, ProgressAndCancel) {
  std::string file = Header("-Y 64 +X 1");
  for (int i = 0; i < 64; ++i) file += Pixels({100, 100, 100, 128});
  struct Sink : ProgressSink {
    std::vector<uint32_t> done;
    CancelFlag* cancel = nullptr;
    void Report(uint32_t d, uint32_t total) override {
      done.push_back(d);
      EXPECT_LE(d, total);
      if (cancel) cancel->Set();
    }
  };
  auto sink = MakeRef<Sink>();
  EXPECT_EQ(Load(file).status, status::kOk);
  Loaded d = LoadBytes(file, u"t.hdr", false, sink.get());
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_GE(sink->done.size(), 2u);
  CancelFlag cancel;
  auto stop = MakeRef<Sink>();
  stop->cancel = &cancel;
  EXPECT_EQ(LoadBytes(file, u"t.hdr", false, stop.get(), &cancel).status, status::kCancelled);
}

// ImageMagick writes run-length scanlines for widths from 8 up and flat ones
// below. Its own reading leaves out the half step of the formula, m * 2^(e-136):
// the two differ by at most half a mantissa step, which for the largest
// component (mantissa >= 128) is 1/256 of it. Compared in linear light.
float Linear(float v) {
  return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

TEST(HdrFidelity, ImageMagickPictures) {
  if (!test::HaveTool("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick not installed";
  test::TempDir dir;
  const std::string base = dir.Path() + "/";
  for (const char* size : {"37x5", "5x3", "300x2"}) {
    const std::string hdr = base + "p.hdr";
    ASSERT_TRUE(test::Run(std::string("/usr/bin/convert -size ") + size +
                          " plasma:fractal -seed 7 " + hdr));
    ASSERT_TRUE(test::Run("/usr/bin/convert " + hdr + " -depth 16 " + base + "ref.ppm"));
    test::Pnm ref;
    ASSERT_TRUE(test::ReadPnm(test::ReadFileBytes(base + "ref.ppm"), &ref));
    Loaded d = test::LoadPath(hdr);
    ASSERT_EQ(d.status, status::kOk) << size;
    ASSERT_EQ(d.image->Width(), ref.width);
    ASSERT_EQ(d.image->Height(), ref.height);
    for (uint32_t y = 0; y < ref.height; ++y) {
      for (uint32_t x = 0; x < ref.width; ++x) {
        float want[3], most = 0;
        for (int c = 0; c < 3; ++c) {
          want[c] = Linear(ref.At(x, y, c) / 65535.0f);
          most = std::max(most, want[c]);
        }
        const float* got = PixelF(d.image.get(), x, y);
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(Linear(got[2 - c]), want[c], most / 256 + 2e-4f)
              << size << " " << x << "," << y << " c" << c;
      }
    }
  }
}

}  // namespace
}  // namespace vt
