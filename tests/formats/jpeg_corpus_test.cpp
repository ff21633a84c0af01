// The JPEG decoder against a reference decoder: files made here with the
// common command-line encoder over the quality range, every sampling layout,
// progressive, arithmetic and restart coding, decoded by the reference tool
// with its integer transform; the public conformance files; truncated and
// damaged streams; the two-thread row pipeline.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/tasks.h"
#include "jpeg_test_util.h"
#include "support/test_support.h"

namespace vt {
namespace {

using jpegtest::Compare;
using jpegtest::Decode;
using jpegtest::Difference;
using jpegtest::Picture;

bool HaveEncoder() { return jpegtest::HaveTool("cjpeg") && jpegtest::HaveTool("djpeg"); }

struct Encoded {
  std::string jpeg;
  Picture reference;
};

Encoded Encode(const test::TempDir& dir, const std::string& ppm, const std::string& options,
               const std::string& djpegOptions = "") {
  const std::string src = dir.Write("src.ppm", ppm);
  const std::string jpg = dir.Path() + "/t.jpg";
  const std::string ref = dir.Path() + "/ref.pnm";
  Encoded e;
  if (!jpegtest::Run("cjpeg " + options + " -outfile " + jpg + " " + src)) return e;
  if (!jpegtest::Run("djpeg -dct int " + djpegOptions + " -outfile " + ref + " " + jpg)) return e;
  e.jpeg = test::ReadFileBytes(jpg);
  e.reference = jpegtest::ReadPnm(test::ReadFileBytes(ref));
  return e;
}

// Tolerances. Without subsampling only the colour conversion's rounding
// differs (the transform is the same integer one). Subsampled chroma is
// interpolated inside each block here, across blocks by the reference, so the
// first and last sample of each block may differ by more; inside the blocks
// both interpolate alike.
struct Layout {
  const char* options;
  int max;
  int interiorMax;
  double mean;
};
constexpr Layout kLayouts[] = {
    {"-grayscale", 0, 0, 0.0},       {"-sample 1x1", 1, 1, 0.05}, {"-rgb", 0, 0, 0.0},
    {"-sample 2x1", 255, 2, 0.6},    {"-sample 1x2", 255, 2, 0.65}, {"-sample 2x2", 255, 2, 0.7},
    {"-sample 4x1", 1, 1, 0.05},     {"-sample 4x2", 1, 1, 0.05}, {"-sample 1x4", 1, 1, 0.05},
};

TEST(JpegCorpus, GeneratedFilesMatchTheReferenceDecoder) {
  if (!HaveEncoder()) GTEST_SKIP() << "cjpeg/djpeg not installed";
  test::TempDir dir;
  const std::string ppm = jpegtest::MakePpm(157, 93, 7);
  const char* codings[] = {"", "-progressive", "-arithmetic", "-arithmetic -progressive",
                           "-restart 1", "-optimize -restart 3B"};
  for (const Layout& layout : kLayouts) {
    for (const char* coding : codings) {
      for (int quality : {5, 50, 90, 100}) {
        const std::string options =
            std::string(layout.options) + " " + coding + " -quality " + std::to_string(quality);
        Encoded e = Encode(dir, ppm, options);
        ASSERT_FALSE(e.jpeg.empty()) << options;
        jpegtest::Decoded d = Decode(e.jpeg);
        ASSERT_EQ(d.status, status::kOk) << options;
        const Difference diff = Compare(jpegtest::FromImage(d.image.get()), e.reference);
        EXPECT_LE(diff.max, layout.max) << options;
        EXPECT_LE(diff.interiorMax, layout.interiorMax) << options;
        // Coarse quantisation makes neighbouring chroma blocks differ more, and
        // with them the samples at block edges.
        const bool subsampled = layout.max > 1;
        const double meanLimit =
            layout.mean + (subsampled ? (quality <= 5 ? 1.2 : quality <= 50 ? 0.4 : 0.0) : 0.0);
        EXPECT_LE(diff.mean, meanLimit) << options;
      }
    }
  }
}

TEST(JpegCorpus, ReducedSizeMatchesTheReferenceAtOneEighth) {
  if (!HaveEncoder()) GTEST_SKIP() << "cjpeg/djpeg not installed";
  test::TempDir dir;
  const std::string ppm = jpegtest::MakePpm(203, 77, 3);
  for (const char* options : {"-grayscale", "-sample 1x1", "-grayscale -progressive"}) {
    Encoded e = Encode(dir, ppm, options, "-scale 1/8");
    ASSERT_FALSE(e.jpeg.empty());
    jpegtest::Decoded d = Decode(e.jpeg, true);
    ASSERT_EQ(d.status, status::kOk);
    ASSERT_EQ(d.image->Width(), 26u);
    ASSERT_EQ(d.image->Height(), 10u);
    const Difference diff = Compare(jpegtest::FromImage(d.image.get()), e.reference);
    EXPECT_LE(diff.max, 1) << options;
  }
}

TEST(JpegCorpus, ConformanceFilesDecodeLikeTheReference) {
  const std::string root = test::CorpusPath("jpeg/jpegsuite/jpeg");
  if (!test::FileExists(root + "/baseline/32x32x8_grayscale.jpg")) GTEST_SKIP() << "no corpus";
  const bool reference = jpegtest::HaveTool("djpeg");
  test::TempDir dir;
  int decoded = 0;
  for (const char* folder : {"baseline", "extended_huffman", "extended_arithmetic",
                             "progressive_huffman", "progressive_arithmetic"}) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root + "/" + folder))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (name.size() < 4 || name.substr(name.size() - 4) != ".jpg") continue;
      const std::string path = root + "/" + folder + "/" + name;
      jpegtest::Decoded d = Decode(test::ReadFileBytes(path));
      if (name.find("x12_") != std::string::npos || name.find("dnl") != std::string::npos) {
        // 12-bit samples and heights left to a DNL segment are refused.
        EXPECT_TRUE(Failed(d.status)) << path;
        continue;
      }
      ASSERT_EQ(d.status, status::kOk) << path;
      ++decoded;
      if (!reference) continue;
      const std::string ref = dir.Path() + "/ref.pnm";
      if (!jpegtest::Run("djpeg -dct int -outfile " + ref + " " + path)) continue;
      const Difference diff =
          Compare(jpegtest::FromImage(d.image.get()), jpegtest::ReadPnm(test::ReadFileBytes(ref)));
      if (name.find("cmyk") != std::string::npos) continue;  // the reference writes no CMYK
      const bool subsampled = name.find("2x2") != std::string::npos;
      EXPECT_LE(subsampled ? diff.interiorMax : diff.max, subsampled ? 2 : 1) << path;
      EXPECT_LE(diff.mean, subsampled ? 0.3 : 0.01) << path;
    }
  }
  EXPECT_GE(decoded, 100);

  const std::string turbo = test::CorpusPath("jpeg/libjpeg-turbo/testimages");
  for (const char* name : {"testorig.jpg", "testimgint.jpg", "testimgari.jpg"}) {
    jpegtest::Decoded d = Decode(test::ReadFileBytes(turbo + "/" + name));
    ASSERT_EQ(d.status, status::kOk) << name;
    EXPECT_EQ(d.image->Width(), 227u);
  }
  EXPECT_EQ(Decode(test::ReadFileBytes(turbo + "/monkey12.jpg")).status, status::kDamaged);
}

// Every prefix decodes without fault; the rows whose data arrived equal the
// whole file's rows.
TEST(JpegCorpus, EveryPrefixGivesAnErrorOrThePartThatArrived) {
  if (!HaveEncoder()) GTEST_SKIP() << "cjpeg/djpeg not installed";
  test::TempDir dir;
  const std::string ppm = jpegtest::MakePpm(48, 40, 11);
  for (const char* options : {"-sample 2x2", "-progressive -sample 2x1", "-arithmetic",
                              "-arithmetic -progressive", "-restart 1 -grayscale"}) {
    Encoded e = Encode(dir, ppm, options);
    ASSERT_FALSE(e.jpeg.empty());
    jpegtest::Decoded whole = Decode(e.jpeg);
    ASSERT_EQ(whole.status, status::kOk);
    const Picture full = jpegtest::FromImage(whole.image.get());
    for (size_t n = 0; n < e.jpeg.size(); ++n) {
      jpegtest::Decoded d = Decode(e.jpeg.substr(0, n));
      if (Failed(d.status)) continue;
      ASSERT_EQ(d.image->Width(), 48u);
    }
    // Cut in the middle of the entropy data of a sequential file: the top
    // rows are there.
    if (std::string(options) == "-sample 2x2") {
      jpegtest::Decoded d = Decode(e.jpeg.substr(0, e.jpeg.size() * 3 / 4));
      ASSERT_EQ(d.status, status::kOk);
      const Picture part = jpegtest::FromImage(d.image.get());
      const size_t rowBytes = size_t{48} * 3;
      EXPECT_TRUE(std::equal(part.samples.begin(), part.samples.begin() + 16 * rowBytes,
                             full.samples.begin()));
    }
  }
}

TEST(JpegCorpus, DamagedEntropyDataAndLostRestartMarkersAreSurvived) {
  if (!HaveEncoder()) GTEST_SKIP() << "cjpeg/djpeg not installed";
  test::TempDir dir;
  const std::string ppm = jpegtest::MakePpm(64, 64, 5);
  for (const char* options : {"-restart 1 -sample 2x2", "-progressive -restart 1",
                              "-arithmetic -restart 1", "-arithmetic -progressive"}) {
    Encoded e = Encode(dir, ppm, options);
    ASSERT_FALSE(e.jpeg.empty());
    const Picture full = jpegtest::FromImage(Decode(e.jpeg).image.get());
    const size_t sos = e.jpeg.find("\xFF\xDA");
    // Bytes overwritten with noise at several places.
    for (uint32_t seed = 1; seed < 40; ++seed) {
      std::string bad = e.jpeg;
      std::vector<uint8_t> noise = test::RandomBytes(8, seed);
      for (size_t i = 0; i < 4; ++i) {
        const size_t at = sos + 14 + (noise[i] * 131u + seed * 977u) % (bad.size() - sos - 16);
        bad[at] = static_cast<char>(noise[4 + i]);
      }
      jpegtest::Decoded d = Decode(bad);
      if (Succeeded(d.status)) {
        EXPECT_EQ(d.image->Width(), 64u);
      }
    }
    // The second restart marker removed: the rows before it are unchanged and
    // decoding resynchronises at the next one.
    const size_t first = e.jpeg.find("\xFF\xD0", sos);
    const size_t second = e.jpeg.find("\xFF\xD1", sos);
    if (first != std::string::npos && second != std::string::npos && options[1] == 'r') {
      std::string lost = e.jpeg;
      lost.erase(second, 2);
      jpegtest::Decoded d = Decode(lost);
      ASSERT_EQ(d.status, status::kOk);
      const Picture p = jpegtest::FromImage(d.image.get());
      const size_t rowBytes = size_t{64} * 3;
      // The last MCU row comes from the data of its own interval.
      EXPECT_TRUE(std::equal(p.samples.end() - 8 * rowBytes, p.samples.end(),
                             full.samples.end() - 8 * rowBytes))
          << options;
    }
  }
}

TEST(JpegCorpus, RowPipelineGivesTheSamePixelsAsOneThread) {
  if (!HaveEncoder()) GTEST_SKIP() << "cjpeg/djpeg not installed";
  test::TempDir dir;
  const std::string ppm = jpegtest::MakePpm(1400, 530, 9);
  const uint32_t threads = ParallelThreadCount();
  for (const char* options : {"-sample 2x2", "-sample 1x1 -restart 2", "-grayscale"}) {
    Encoded e = Encode(dir, ppm, std::string(options) + " -quality 92");
    ASSERT_FALSE(e.jpeg.empty());
    SetParallelThreadCount(1);
    jpegtest::Decoded one = Decode(e.jpeg);
    SetParallelThreadCount(2);
    jpegtest::Decoded two = Decode(e.jpeg);
    SetParallelThreadCount(threads);
    ASSERT_EQ(one.status, status::kOk);
    ASSERT_EQ(two.status, status::kOk);
    const bool colour = std::string(options) != "-grayscale";
    // Both convert YCbCr rows to RGB themselves, and say so.
    EXPECT_EQ(one.reader->Model(), colour ? ColourModel::Rgb : ColourModel::L);
    EXPECT_EQ(two.reader->Model(), colour ? ColourModel::Rgb : ColourModel::L);
    const Picture a = jpegtest::FromImage(one.image.get());
    const Picture b = jpegtest::FromImage(two.image.get());
    EXPECT_TRUE(a.samples == b.samples) << options;
    EXPECT_LE(Compare(a, e.reference).interiorMax, 4) << options;
  }
}

TEST(JpegCorpus, CmykFromImageMagickDecodes) {
  if (!jpegtest::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  test::TempDir dir;
  const std::string src = dir.Write("src.ppm", jpegtest::MakePpm(40, 24, 2));
  const std::string jpg = dir.Path() + "/cmyk.jpg";
  const std::string raw = dir.Path() + "/cmyk.raw";
  ASSERT_TRUE(jpegtest::Run("convert " + src + " -colorspace CMYK -quality 95 " + jpg));
  // The tool's own decode of the ink values; the colour they stand for is
  // (255 - ink) x (255 - black) / 255.
  ASSERT_TRUE(jpegtest::Run("convert " + jpg + " -depth 8 cmyk:" + raw));
  const std::string inks = test::ReadFileBytes(raw);
  ASSERT_EQ(inks.size(), 40u * 24 * 4);
  Picture expected;
  expected.width = 40;
  expected.height = 24;
  expected.channels = 3;
  for (size_t i = 0; i < inks.size(); i += 4) {
    const unsigned white = 255u - static_cast<uint8_t>(inks[i + 3]);
    for (int c = 0; c < 3; ++c)
      expected.samples.push_back(static_cast<uint8_t>((255u - static_cast<uint8_t>(inks[i + c])) * white / 255u));
  }
  jpegtest::Decoded d = Decode(test::ReadFileBytes(jpg));
  ASSERT_EQ(d.status, status::kOk);
  // The tool stores CMYK as YCCK (Adobe transform 2). The pipeline's YCCK
  // conversion lifts red by 8 and truncates, so the comparison is loose; a
  // wrong model or misplaced channel gives differences of many tens.
  EXPECT_EQ(d.reader->Model(), ColourModel::Ycck);
  const Difference diff = Compare(jpegtest::FromImage(d.image.get()), expected);
  EXPECT_LE(diff.max, 20);
  EXPECT_LE(diff.mean, 3.5);
}

}  // namespace
}  // namespace vt
