// The FITS reader on files built here card by card (exact sample values by
// construction), on the public samples and on files written by ImageMagick,
// both compared with Pillow's raw samples.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/fits/fits_reader.h"
#include "ico_dds_fits_support.h"
#include "image/colour_models.h"

namespace vt {
namespace idf = test::idf;
namespace {

using idf::LoadBytes;

std::string Card(const std::string& text) { return (text + std::string(80, ' ')).substr(0, 80); }
std::string Value(const std::string& key, const std::string& value) {
  return Card((key + "        ").substr(0, 8) + "= " + value);
}

void PutBE(std::string& s, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

// A file with the given cards after SIMPLE, then the samples (already
// big-endian) padded to whole records.
std::string Fits(const std::vector<std::string>& cards, const std::string& data,
                 const std::string& simple = "T") {
  std::string h = Value("SIMPLE", "                   " + simple);
  for (const std::string& c : cards) h += c;
  h += Card("END");
  h.append((2880 - h.size() % 2880) % 2880, ' ');
  std::string d = data;
  d.append((2880 - d.size() % 2880) % 2880, '\0');
  return h + d;
}

std::vector<std::string> Axes(int bitpix, int w, int h) {
  return {Value("BITPIX", std::to_string(bitpix)), Value("NAXIS", "2"),
          Value("NAXIS1", std::to_string(w)), Value("NAXIS2", std::to_string(h))};
}

Status OpenDirect(const std::string& bytes) {
  RefPtr<FileSource> source = MakeMemorySource(u"a.fits", bytes);
  RefPtr<ImageReader> reader = CreateFitsReader(source.get(), nullptr);
  return reader->Open();
}

TEST(FitsReader, HeaderChecks) {
  const std::string good = Fits(Axes(8, 2, 2), "abcd");
  EXPECT_EQ(ProbeFits(*MakeMemorySource(u"x", good)), status::kOk);
  EXPECT_TRUE(LoadBytes("picture.dat", good).Ok());  // found by probing
  EXPECT_EQ(ProbeFits(*MakeMemorySource(u"x", good.substr(0, 79))), status::kUnknownFormat);
  EXPECT_EQ(ProbeFits(*MakeMemorySource(u"x", "XIMPLE" + good.substr(6))), status::kUnknownFormat);
  // Refused as unsupported once a reader runs on it.
  EXPECT_EQ(OpenDirect(Fits(Axes(8, 2, 2), "abcd", "F")), status::kUnsupportedSubformat);
  EXPECT_EQ(OpenDirect("XIMPLE" + good.substr(6)), status::kUnsupportedSubformat);
  EXPECT_EQ(OpenDirect(Fits(Axes(12, 2, 2), "")), status::kUnsupportedSubformat);
  EXPECT_EQ(OpenDirect(Fits(Axes(-16, 2, 2), "")), status::kUnsupportedSubformat);
  EXPECT_EQ(OpenDirect(Fits({Value("BITPIX", "8"), Value("NAXIS", "1"), Value("NAXIS1", "4")}, "")),
            status::kUnsupportedSubformat);
  EXPECT_EQ(OpenDirect(Fits(Axes(8, 2, 0), "")), status::kUnsupportedSubformat);
  EXPECT_EQ(OpenDirect(Fits(Axes(8, 0, 2), "")), status::kDamaged);
  EXPECT_EQ(OpenDirect(Fits({Value("BITPIX", "8"), Value("NAXIS", "2"), Value("NAXIS2", "4")}, "")),
            status::kDamaged);
  EXPECT_EQ(OpenDirect(Fits(Axes(8, 1 << 20, 1 << 20), "")), status::kDamaged);
  // A damaged header is still taken by the probe, so the user learns why.
  EXPECT_EQ(LoadBytes("a.fits", Fits(Axes(8, 0, 2), "")).open, status::kDamaged);
}

TEST(FitsReader, IntegerSamplesBottomRowFirst) {
  std::string d16;
  for (int v : {-32768, 32767, 0, -1}) PutBE(d16, static_cast<uint16_t>(v), 2);
  idf::Loaded a = LoadBytes("a.fits", Fits(Axes(16, 2, 2), d16));
  ASSERT_TRUE(a.Ok());
  EXPECT_EQ(a.image->Format(), PixelFormat::Gray16);
  EXPECT_EQ(a.reader->Model(), ColourModel::L);
  EXPECT_EQ(a.image->Alpha(), AlphaMode::None);
  const PlaneView p16 = a.image->View(PixelFormat::Gray16);
  ASSERT_TRUE(p16);
  EXPECT_EQ(p16.RowAs<uint16_t>(1)[0], 0);  // first stored row is the bottom
  EXPECT_EQ(p16.RowAs<uint16_t>(1)[1], 65535);
  EXPECT_EQ(p16.RowAs<uint16_t>(0)[0], 32768);
  EXPECT_EQ(p16.RowAs<uint16_t>(0)[1], 32767);

  std::string d32;
  for (int64_t v : {int64_t{-2147483647 - 1}, int64_t{2147483647}, int64_t{0x12345678}, int64_t{-5}})
    PutBE(d32, static_cast<uint32_t>(v), 4);
  idf::Loaded b = LoadBytes("a.fit", Fits(Axes(32, 4, 1), d32));
  ASSERT_TRUE(b.Ok());
  const PlaneView p32 = b.image->View(PixelFormat::Gray16);
  ASSERT_TRUE(p32);
  const uint16_t want32[4] = {0, 65535, 0x1234 ^ 0x8000, 0xFFFF ^ 0x8000};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(p32.RowAs<uint16_t>(0)[x], want32[x]) << x;

  idf::Loaded c = LoadBytes("a.fits", Fits(Axes(8, 3, 2), std::string("\x00\x80\xFF\x01\x02\x03", 6)));
  ASSERT_TRUE(c.Ok());
  const PlaneView p8 = c.image->View(PixelFormat::Gray8);
  ASSERT_TRUE(p8);
  EXPECT_EQ(p8.Row(1)[1], 0x80);
  EXPECT_EQ(p8.Row(1)[2], 0xFF);
  EXPECT_EQ(p8.Row(0)[0], 1);
  EXPECT_EQ(c.reader->BitDepth(), 8u);
}

TEST(FitsReader, FloatSamplesAndBlank) {
  std::string f32;
  for (float v : {0.25f, 1.0f, -7.0f, NAN}) PutBE(f32, std::bit_cast<uint32_t>(v), 4);
  std::string f64;
  for (double v : {0.25, 0.5, 1e300, double{INFINITY}}) PutBE(f64, std::bit_cast<uint64_t>(v), 8);
  for (int bitpix : {-32, -64}) {
    SCOPED_TRACE(bitpix);
    idf::Loaded got = LoadBytes("a.fits", Fits(Axes(bitpix, 4, 1), bitpix == -32 ? f32 : f64));
    ASSERT_TRUE(got.Ok());
    const PlaneView p = got.image->View(PixelFormat::GrayFloat);
    ASSERT_TRUE(p);
    const float* row = p.RowAs<float>(0);
    // Floats are linear light: the pipeline encodes them for display.
    EXPECT_FLOAT_EQ(row[0], SrgbTransfer(0.25f));
    if (bitpix == -32) {
      EXPECT_FLOAT_EQ(row[1], SrgbTransfer(1.0f));
    } else {
      EXPECT_FLOAT_EQ(row[1], SrgbTransfer(0.5f));
    }
    EXPECT_TRUE(std::isfinite(row[2]));
    EXPECT_EQ(row[3], 0.0f);  // not a number or infinite: undefined
  }
  // BLANK marks undefined integer samples, which show as 0.
  std::string d16;
  for (int v : {-1, 100, -1}) PutBE(d16, static_cast<uint16_t>(v), 2);
  std::vector<std::string> cards = Axes(16, 3, 1);
  cards.push_back(Value("BLANK", "-1.0E0 / undefined"));
  idf::Loaded b = LoadBytes("a.fits", Fits(cards, d16));
  ASSERT_TRUE(b.Ok());
  const PlaneView p = b.image->View(PixelFormat::Gray16);
  EXPECT_EQ(p.RowAs<uint16_t>(0)[0], 0);
  EXPECT_EQ(p.RowAs<uint16_t>(0)[1], 32868);
  EXPECT_EQ(p.RowAs<uint16_t>(0)[2], 0);
}

TEST(FitsReader, PropertiesFromCards) {
  std::vector<std::string> cards = Axes(8, 1, 1);
  cards.push_back(Card("COMMENT"));  // blank: does not count
  cards.push_back(Card("COMMENT   first words"));
  cards.push_back(Card("COMMENT   second words"));
  cards.push_back(Value("OBJECT", "'M 13    '           / the cluster"));
  cards.push_back(Value("AUTHOR", "'O''Brien'"));
  cards.push_back(Value("DATE", "'2006-11-15'"));
  cards.push_back(Value("ORIGIN", "''"));  // empty: skipped
  cards.push_back(Value("OBSERVER", "'SkyView'"));
  for (int i = 0; i < 40; ++i) cards.push_back(Value("HISTORY" + std::to_string(i % 10), "1"));
  idf::Loaded got = LoadBytes("a.fits", Fits(cards, "\x2A"));
  ASSERT_TRUE(got.Ok());
  ImageProperties& p = got.image->Properties();
  auto text = [&p](PropertyId id) { return p.Get(id) ? test::U8(*p.Get(id)) : std::string("(none)"); };
  EXPECT_EQ(text(PropertyId::Title), "M 13");
  EXPECT_EQ(text(PropertyId::Author), "O'Brien");
  EXPECT_EQ(text(PropertyId::CreationDate), "2006-11-15");
  EXPECT_EQ(text(PropertyId::Source), "SkyView");
  EXPECT_EQ(text(PropertyId::Comment), "first words");
  // The header took two records: the sample is at 5760.
  EXPECT_EQ(got.image->View(PixelFormat::Gray8).Row(0)[0], 0x2A);
}

class CountReports : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override {
    if (total == 5) reports.push_back(done);
  }
  std::vector<uint32_t> reports;
};

TEST(FitsReader, ProgressCancelAndPrefixes) {
  std::string d;
  for (int i = 0; i < 3 * 5; ++i) PutBE(d, static_cast<uint16_t>(i * 1000), 2);
  const std::string whole = Fits(Axes(16, 3, 5), d);
  auto counter = MakeRef<CountReports>();
  ASSERT_TRUE(LoadBytes("a.fits", whole, counter.get()).Ok());
  EXPECT_EQ(counter->reports, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(LoadBytes("a.fits", whole, nullptr, &cancel).decode, status::kCancelled);

  idf::CheckEveryPrefix("a.fits", whole.substr(0, 2880 + d.size()));
  // The bottom rows arrive first; what is missing is 0.
  idf::Loaded cut = LoadBytes("a.fits", whole.substr(0, 2880 + 2 * 3 * 2 + 1));
  ASSERT_TRUE(cut.Ok());
  const PlaneView p = cut.image->View(PixelFormat::Gray16);
  EXPECT_EQ(p.RowAs<uint16_t>(4)[0], 32768);
  EXPECT_EQ(p.RowAs<uint16_t>(3)[2], (5000 ^ 0x8000));
  EXPECT_EQ(p.RowAs<uint16_t>(2)[0], 0);
  EXPECT_EQ(p.RowAs<uint16_t>(0)[2], 0);
}

// Our samples from Pillow's: 8-bit the same, integers shifted by 32768 (the
// top 16 bits for 32-bit ones).
void ExpectLikePillow(const idf::Loaded& got, const idf::Reference& ref) {
  ASSERT_TRUE(ref.Ok());
  ASSERT_EQ(ref.width, got.image->Width());
  ASSERT_EQ(ref.height, got.image->Height());
  int mismatches = 0;
  for (uint32_t y = 0; y < ref.height; ++y) {
    for (uint32_t x = 0; x < ref.width; ++x) {
      const size_t i = size_t{y} * ref.width + x;
      int64_t want = 0;
      int64_t have = 0;
      if (ref.mode == "L") {
        want = static_cast<uint8_t>(ref.data[i]);
        have = got.image->View(PixelFormat::Gray8).Row(y)[x];
      } else if (ref.mode == "I") {
        int32_t v;
        std::memcpy(&v, ref.data.data() + 4 * i, 4);
        want = got.reader->BitDepth() == 32 ? (v >> 16) + 32768 : int64_t{v} + 32768;
        have = got.image->View(PixelFormat::Gray16).RowAs<uint16_t>(y)[x];
      } else {
        ADD_FAILURE() << "Pillow mode " << ref.mode;
        return;
      }
      if (want != have && ++mismatches < 5) ADD_FAILURE() << x << "," << y << ": " << have << " != " << want;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Pillow reads 8-bit files only (its 16-bit decode is all zeros here and it
// refuses m13.fits), so the larger samples are pinned by a pixel hash.
TEST(FitsCorpus, SamplesMatchPillow) {
  const std::string hopper = test::CorpusPath("pillow/Tests/images/hopper.fits");
  if (!test::FileExists(hopper)) GTEST_SKIP() << "no corpus";
  const idf::Loaded got = idf::LoadFile(hopper);
  ASSERT_TRUE(got.Ok());
  if (idf::HavePillow()) ExpectLikePillow(got, idf::PillowDecode({hopper}, true)[0]);
  const idf::Loaded m13 = idf::LoadFile(test::CorpusPath("pillow/Tests/images/m13.fits"));
  ASSERT_TRUE(m13.Ok());
  EXPECT_EQ(m13.image->Format(), PixelFormat::Gray16);
  EXPECT_EQ(idf::PixelHash(m13), 0xdabd5a9d4f1c9e06ull);
  // NAXIS 0 (no primary array) and a gzip-compressed file are not this reader's.
  EXPECT_EQ(idf::LoadFile(test::CorpusPath("pillow/Tests/images/hopper_naxis_zero.fits")).open,
            status::kUnknownFormat);
  EXPECT_EQ(idf::LoadFile(test::CorpusPath("pillow/Tests/images/m13_gzip.fits")).open,
            status::kUnknownFormat);
}

// ImageMagick writes the same grey image as FITS (8, 16 and 32 bits, with
// BZERO offsets) and as a binary PGM; the FITS samples must be the PGM's.
TEST(FitsCorpus, ImageMagickFilesMatchTheirPgm) {
  if (!idf::HaveMagick()) GTEST_SKIP() << "ImageMagick missing";
  test::TempDir dir;
  const std::string image = " rose: -resize 31x17! -colorspace gray -depth ";
  for (const char* depth : {"8", "16", "32"}) {
    SCOPED_TRACE(depth);
    const std::string fits = dir.Path() + "/d" + depth + ".fits";
    const std::string pgm = dir.Path() + "/d" + depth + ".pgm";
    const bool eight = std::string(depth) == "8";
    ASSERT_EQ(idf::Run(idf::kConvert + image + depth + " '" + fits + "'"), 0);
    ASSERT_EQ(idf::Run(idf::kConvert + image + (eight ? "8" : "16") + " '" + pgm + "'"), 0);
    const std::string bytes = test::ReadFileBytes(pgm);
    const std::string header = eight ? "P5\n31 17\n255\n" : "P5\n31 17\n65535\n";
    ASSERT_EQ(bytes.substr(0, header.size()), header);
    const idf::Loaded got = idf::LoadFile(fits);
    ASSERT_TRUE(got.Ok());
    EXPECT_EQ(got.reader->BitDepth(), static_cast<uint32_t>(std::stoi(depth)));
    int mismatches = 0;
    for (uint32_t y = 0; y < 17; ++y) {
      for (uint32_t x = 0; x < 31; ++x) {
        const size_t i = header.size() + (size_t{y} * 31 + x) * (eight ? 1 : 2);
        const uint32_t want = eight ? uint8_t(bytes[i]) : uint8_t(bytes[i]) << 8 | uint8_t(bytes[i + 1]);
        const uint32_t have = eight ? got.image->View(PixelFormat::Gray8).Row(y)[x]
                                    : got.image->View(PixelFormat::Gray16).RowAs<uint16_t>(y)[x];
        if (have != want) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

}  // namespace
}  // namespace vt
