#include <gtest/gtest.h>

#include "formats/meta/exif_reader.h"
#include "formats/meta/tiff_ifd.h"
#include "formats/meta_test_util.h"

namespace vt {
namespace {

using test::Bytes;
using test::Text;
using test::TiffBuilder;

Bytes ExifOf(const std::string& jpegName) {
  const std::vector<Bytes> s =
      test::JpegSegments(test::MetaFile(jpegName), 0xE1, std::string("Exif\0\0", 6));
  return s.empty() ? Bytes() : s[0];
}

TEST(ExifBlock, BigEndianCameraFileFromExiftool) {
  const Bytes exif = ExifOf("exif_be.jpg");
  ASSERT_FALSE(exif.empty());
  ImageProperties p;
  ReadExifBlock(p, exif);  // without the "Exif" heading
  EXPECT_EQ(Text(p, PropertyId::Title), "Roll 7");
  EXPECT_EQ(Text(p, PropertyId::Comment), "Harbour at dawn");
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Vantec");
  EXPECT_EQ(Text(p, PropertyId::Model), "VT-100 Mark II");
  EXPECT_EQ(Text(p, PropertyId::Author), "A. Painter");
  EXPECT_EQ(Text(p, PropertyId::Rights), "(c) 2021 A. Painter");
  // The original date replaces IFD0's modification date.
  EXPECT_EQ(Text(p, PropertyId::CreationDate), "2021:05:31 18:45:12");
  EXPECT_EQ(Text(p, PropertyId::Orientation), "Rotated 270");
  EXPECT_EQ(Text(p, PropertyId::ExposureTime), "0.004 s");
  EXPECT_EQ(Text(p, PropertyId::FNumber), "2.800");
  EXPECT_EQ(Text(p, PropertyId::IsoSpeed), "400");
  EXPECT_EQ(Text(p, PropertyId::ShutterSpeed), "7.966");   // 56573/7102
  EXPECT_EQ(Text(p, PropertyId::Aperture), "2.971");       // 24361/8200
  EXPECT_EQ(Text(p, PropertyId::FocalLength), "35.000 mm");
  EXPECT_EQ(Text(p, PropertyId::ExposureBias), "-0.700");  // signed -7/10
  EXPECT_EQ(Text(p, PropertyId::Flash), "16");
  EXPECT_EQ(Text(p, PropertyId::ExposureMode), "1");
  EXPECT_EQ(Text(p, PropertyId::WhiteBalance), "1");
  EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "48°30'0.00\" N, 2°17'40.20\" E, +35m");
}

TEST(ExifBlock, LittleEndianCameraFileFromExiftool) {
  const Bytes exif = ExifOf("exif_le.jpg");
  ASSERT_FALSE(exif.empty());
  Bytes withHeading = {'E', 'x', 'i', 'f', 0, 0};
  withHeading.insert(withHeading.end(), exif.begin(), exif.end());
  ImageProperties p;
  ReadExifBlock(p, withHeading);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Lumix");
  EXPECT_EQ(Text(p, PropertyId::Model), "Z9");
  EXPECT_EQ(Text(p, PropertyId::Orientation), "Rotated 180");
  EXPECT_EQ(Text(p, PropertyId::ExposureTime), "2.000 s");
  EXPECT_EQ(Text(p, PropertyId::FNumber), "16.000");
  EXPECT_EQ(Text(p, PropertyId::IsoSpeed), "100");
  EXPECT_EQ(Text(p, PropertyId::FocalLength), "200.000 mm");
  EXPECT_EQ(Text(p, PropertyId::ExposureBias), "1.300");
  EXPECT_EQ(Text(p, PropertyId::Flash), "0");
  EXPECT_EQ(Text(p, PropertyId::WhiteBalance), "0");
  EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "33°52'4.45\" S, 151°12'36.90\" W, -13m");
  EXPECT_FALSE(p.Has(PropertyId::Author));
}

TEST(ExifIfdWalkers, TiffFileThroughTheTiffReadersEntryPoint) {
  const Bytes tiff = test::MetaFile("exif.tif");
  const ByteCursor data(tiff.data(), tiff.size());
  bool be = true;
  uint32_t ifd0 = 0;
  ASSERT_TRUE(ReadTiffHeader(data, &be, &ifd0));
  EXPECT_FALSE(be);
  ImageProperties viaWalker;
  ReadExifIfd0(viaWalker, data, be, ifd0);
  EXPECT_EQ(Text(viaWalker, PropertyId::Manufacturer), "Scanco");
  EXPECT_EQ(Text(viaWalker, PropertyId::Model), "Flatbed 2");
  EXPECT_EQ(Text(viaWalker, PropertyId::Author), "Operator");
  EXPECT_EQ(Text(viaWalker, PropertyId::ExposureTime), "0.017 s");
  EXPECT_EQ(Text(viaWalker, PropertyId::FNumber), "5.600");
  EXPECT_EQ(Text(viaWalker, PropertyId::GpsGeotag), "0°30'0.00\" N, 0°15'0.00\" W, +0m");
  // A TIFF file is also a valid EXIF block.
  ImageProperties viaBlock;
  ReadExifBlock(viaBlock, tiff);
  for (int i = 0; i < kPropertyCount; ++i) {
    const auto id = static_cast<PropertyId>(i);
    EXPECT_EQ(Text(viaBlock, id), Text(viaWalker, id)) << i;
  }
}

TEST(ExifIfdWalkers, ThirdPartyTiffWithUnnormalisedGps) {
  // libtiff's custom-directory test writes odd values: 1/7 degree, 61.2 minutes
  // and 62 seconds of latitude, a count-6 ISO, a zero-free rational set.
  const std::string path = test::CorpusPath("libtiff/test/images/custom_dir_EXIF_GPS.tiff");
  if (!test::FileExists(path)) GTEST_SKIP() << "corpus not present";
  const Bytes tiff = test::ToBytes(test::ReadFileBytes(path));
  ImageProperties p;
  ReadExifBlock(p, tiff);
  EXPECT_EQ(Text(p, PropertyId::ExposureTime), "807.274 s");  // 13226377/16384
  EXPECT_EQ(Text(p, PropertyId::FNumber), "1614.548");
  EXPECT_EQ(Text(p, PropertyId::IsoSpeed), "35");  // first of six, read at the value offset
  EXPECT_EQ(Text(p, PropertyId::ShutterSpeed), "16952.754");
  EXPECT_EQ(Text(p, PropertyId::Aperture), "17760.027");
  EXPECT_EQ(Text(p, PropertyId::FocalLength), "24218.221 mm");
  EXPECT_EQ(Text(p, PropertyId::ExposureBias), "19374.576");
  EXPECT_EQ(Text(p, PropertyId::Flash), "3857");
  EXPECT_EQ(Text(p, PropertyId::ExposureMode), "7980");
  EXPECT_EQ(Text(p, PropertyId::WhiteBalance), "8113");
  EXPECT_EQ(Text(p, PropertyId::CreationDate), "N13-String-13_ttttt");
  // The same position exiftool prints: 1 deg 10' 50.36" N, 1 deg 31' 45.26" W.
  EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "1°10'50.36\" N, 1°31'45.26\" W, +3456m");
}

TEST(ExifIfdWalkers, IfdLoopsInThirdPartyFilesEndTheChainWalk) {
  for (const char* name : {"test_ifd_loop_to_self.tif", "test_ifd_loop_to_first.tif"}) {
    const std::string path = test::CorpusPath(std::string("libtiff/test/images/") + name);
    if (!test::FileExists(path)) GTEST_SKIP() << "corpus not present";
    const Bytes tiff = test::ToBytes(test::ReadFileBytes(path));
    const ByteCursor data(tiff.data(), tiff.size());
    bool be;
    uint32_t offset;
    ASSERT_TRUE(ReadTiffHeader(data, &be, &offset));
    IfdVisitSet visited;
    int ifds = 0;
    while (visited.Visit(offset)) {
      IfdWalker w(data, be, offset);
      IfdEntry e;
      while (w.Next(&e)) {
      }
      offset = w.NextIfdOffset();
      ASSERT_LT(++ifds, 100) << name;
    }
    EXPECT_GE(ifds, 1) << name;
    EXPECT_LE(ifds, 3) << name;
  }
}

TiffBuilder CameraBlob(bool be) {
  TiffBuilder b(be);
  const int ifd0 = b.StartIfd();
  b.Ascii(0x10F, "Maker").Ascii(0x110, "M1").Short(0x112, {8}).Ascii(0x13B, "Ann");
  b.Pointer(0x8769, ifd0 + 1).Pointer(0x8825, ifd0 + 2);
  b.StartIfd();
  b.Rational(0x829A, {{1, 8}}).Short(0x8827, {200}).Ascii(0x9003, "2001:02:03 04:05:06");
  b.StartIfd();
  b.Ascii(1, "N").Rational(2, {{485, 10}, {0, 1}, {0, 1}}).Ascii(3, "E");
  b.Rational(4, {{12, 1}, {59, 1}, {12996, 1000}}).Byte(5, 1).Rational(6, {{5, 10}});
  return b;
}

TEST(ExifBlock, BothByteOrdersGiveTheSameTexts) {
  for (bool be : {false, true}) {
    SCOPED_TRACE(be ? "MM" : "II");
    const Bytes exif = CameraBlob(be).BuildExif();
    ImageProperties p;
    ReadExifBlock(p, exif);
    EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Maker");
    EXPECT_EQ(Text(p, PropertyId::Orientation), "Rotated 90");
    EXPECT_EQ(Text(p, PropertyId::ExposureTime), "0.125 s");
    EXPECT_EQ(Text(p, PropertyId::IsoSpeed), "200");
    EXPECT_EQ(Text(p, PropertyId::CreationDate), "2001:02:03 04:05:06");
    // 48.5 degrees become 48 degrees 30 minutes; 12.996 seconds round to 13.00.
    // Altitude 0.5 m below the reference rounds away from zero.
    EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "48°30'0.00\" N, 12°59'13.00\" E, -1m");
  }
}

TEST(ExifBlock, Ifd0OnlyFillsEmptySlotsButTheExifIfdReplaces) {
  const Bytes exif = CameraBlob(false).BuildExif();
  ImageProperties p;
  p.Set(PropertyId::Manufacturer, u"From the file header");
  p.Set(PropertyId::Orientation, u"Unrotated");
  p.Set(PropertyId::ExposureTime, u"earlier");
  p.Set(PropertyId::CreationDate, u"earlier");
  ReadExifBlock(p, exif);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "From the file header");
  EXPECT_EQ(Text(p, PropertyId::Orientation), "Unrotated");
  EXPECT_EQ(Text(p, PropertyId::Model), "M1");
  EXPECT_EQ(Text(p, PropertyId::ExposureTime), "0.125 s");
  EXPECT_EQ(Text(p, PropertyId::CreationDate), "2001:02:03 04:05:06");
}

TEST(ExifBlock, OrientationOutsideOneToEightLeavesItEmpty) {
  for (uint16_t v : {0, 9, 0xFFFF}) {
    TiffBuilder b(true);
    b.StartIfd();
    b.Short(0x112, {v});
    ImageProperties p;
    const Bytes input = b.BuildExif();
    ReadExifBlock(p, input);
    EXPECT_FALSE(p.Has(PropertyId::Orientation)) << v;
  }
  // Count 2 is not an orientation.
  TiffBuilder b(true);
  b.StartIfd();
  b.Short(0x112, {6, 6});
  ImageProperties p;
  const Bytes input = b.BuildExif();
  ReadExifBlock(p, input);
  EXPECT_FALSE(p.Has(PropertyId::Orientation));
}

TEST(ExifBlock, ZeroGpsAndZeroDenominatorsSetNothing) {
  TiffBuilder b(false);
  b.StartIfd();
  b.Pointer(0x8769, 1).Pointer(0x8825, 2);
  b.StartIfd();
  b.Rational(0x829A, {{1, 0}}).Rational(0x9204, {{0xFFFFFFFF, 0}}, true);
  b.StartIfd();
  b.Ascii(1, "N").Rational(2, {{0, 1}, {0, 1}, {0, 1}}).Ascii(3, "E");
  b.Rational(4, {{0, 1}, {0, 1}, {0, 1}}).Rational(6, {{0, 1}});
  ImageProperties p;
  const Bytes input = b.BuildExif();
  ReadExifBlock(p, input);
  EXPECT_FALSE(p.Has(PropertyId::GpsGeotag));
  EXPECT_FALSE(p.Has(PropertyId::ExposureTime));
  EXPECT_FALSE(p.Has(PropertyId::ExposureBias));
}

TEST(ExifBlock, WrongTypesAreNotRead) {
  TiffBuilder b(false);
  b.StartIfd();
  b.Short(0x10F, {65}).Pointer(0x8769, 1);
  b.StartIfd();
  b.Short(0x829A, {1}).Rational(0x8827, {{100, 1}}).Rational(0x9201, {{5, 1}});
  b.Short(0x9003, {1, 2, 3, 4});
  ImageProperties p;
  const Bytes input = b.BuildExif();
  ReadExifBlock(p, input);
  EXPECT_FALSE(p.Has(PropertyId::Manufacturer));
  EXPECT_FALSE(p.Has(PropertyId::ExposureTime));
  EXPECT_FALSE(p.Has(PropertyId::IsoSpeed));
  EXPECT_FALSE(p.Has(PropertyId::ShutterSpeed));  // wants SRATIONAL
  EXPECT_FALSE(p.Has(PropertyId::CreationDate));
}

TEST(ExifBlock, BadHeadersAreIgnored) {
  const Bytes good = CameraBlob(true).BuildExif();
  auto read = [](Bytes b) {
    ImageProperties p;
    ReadExifBlock(p, b);
    return p.Has(PropertyId::Manufacturer);
  };
  EXPECT_TRUE(read(good));
  Bytes b = good;
  b[6] = 'I';  // "IM"
  EXPECT_FALSE(read(b));
  b = good;
  b[9] = 43;
  EXPECT_FALSE(read(b));
  b = good;
  b[10] = 0x7F;  // IFD0 far past the end
  EXPECT_FALSE(read(b));
  EXPECT_FALSE(read(Bytes(good.begin(), good.begin() + 16)));
  EXPECT_FALSE(read(Bytes(10, 0)));
  // "Exif" without the two zero bytes: the TIFF header follows at once.
  b = Bytes{'E', 'x', 'i', 'f'};
  b.insert(b.end(), good.begin() + 6, good.end());
  EXPECT_TRUE(read(b));
}

TEST(ExifBlock, TruncatedIfdKeepsTheEntriesThatFit) {
  TiffBuilder b(false);
  b.StartIfd();
  b.Ascii(0x10F, "Mk").Ascii(0x110, "Md").Ascii(0x13B, "Au");
  Bytes blob = b.Build();
  // Cut into the third entry (header 8 + count 2 + 2 entries of 12 + 5).
  blob.resize(8 + 2 + 24 + 5);
  ImageProperties p;
  ReadExifBlock(p, blob);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Mk");
  EXPECT_EQ(Text(p, PropertyId::Model), "Md");
  EXPECT_FALSE(p.Has(PropertyId::Author));
}

TEST(ExifBlock, ValuesRunningPastTheEndAreSkipped) {
  TiffBuilder b(true);
  b.StartIfd();
  b.Ascii(0x10E, "a description longer than four bytes").Ascii(0x110, "ok");
  b.Pointer(0x8769, 1);
  b.StartIfd();
  b.Rational(0x829D, {{28, 10}}).Short(0x8827, {1, 2, 3});
  Bytes blob = b.Build();
  const ByteCursor data(blob.data(), blob.size());
  // Point the description past the end and give the F number and ISO huge counts.
  auto patch32 = [&](size_t pos, uint32_t v) {
    for (int k = 0; k < 4; ++k) blob[pos + k] = static_cast<uint8_t>(v >> (24 - 8 * k));
  };
  patch32(8 + 2 + 8, static_cast<uint32_t>(blob.size()) - 3);
  const size_t exifIfd = 8 + 2 + 3 * 12 + 4;
  patch32(exifIfd + 2 + 4, 0x20000001);  // 8 * count overflows 32 bits
  patch32(exifIfd + 2 + 12 + 4, 0xFFFFFFFF);
  ImageProperties p;
  ReadExifBlock(p, blob);
  EXPECT_FALSE(p.Has(PropertyId::Comment));
  EXPECT_EQ(Text(p, PropertyId::Model), "ok");
  EXPECT_FALSE(p.Has(PropertyId::FNumber));
  EXPECT_FALSE(p.Has(PropertyId::IsoSpeed));
}

TEST(ExifBlock, DirectoriesPointingAtEachOtherTerminate) {
  TiffBuilder b(false);
  b.StartIfd();
  b.Ascii(0x10F, "Loop").Pointer(0x8769, 0).Pointer(0x8825, 1).Pointer(0x8769, 1);
  b.StartIfd();
  b.Pointer(0x8769, 0).Pointer(0x8825, 1).Rational(0x829A, {{1, 2}});
  ImageProperties p;
  const Bytes input = b.Build();
  ReadExifBlock(p, input);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Loop");
  EXPECT_FALSE(p.Has(PropertyId::ExposureTime));  // the first EXIF pointer (IFD0) is followed
}

TEST(ExifBlock, EveryPrefixOfARealBlockIsSafe) {
  const Bytes exif = ExifOf("exif_be.jpg");
  ASSERT_FALSE(exif.empty());
  for (size_t n = 0; n <= exif.size(); ++n) {
    const Bytes cut(exif.begin(), exif.begin() + static_cast<ptrdiff_t>(n));
    ImageProperties p;
    ReadExifBlock(p, cut);
    for (int i = 0; i < kPropertyCount; ++i) p.Get(static_cast<PropertyId>(i));
  }
}

TEST(TiffIfd, ValueAccessChecksTypesAndBounds) {
  TiffBuilder b(true);
  b.StartIfd();
  b.Short(0x100, {7, 9}).Long(0x101, 123456).Rational(0x11A, {{300, 1}, {72, 2}});
  const Bytes blob = b.Build();
  const ByteCursor data(blob.data(), blob.size());
  IfdWalker w(data, true, 8);
  EXPECT_EQ(w.Count(), 3);
  IfdEntry e;
  ASSERT_TRUE(w.Next(&e));
  uint16_t s = 0;
  EXPECT_TRUE(IfdShort(data, true, e, 1, &s));
  EXPECT_EQ(s, 9);
  EXPECT_FALSE(IfdShort(data, true, e, 2, &s));
  ASSERT_TRUE(w.Next(&e));
  uint32_t l = 0;
  EXPECT_TRUE(IfdLong(data, true, e, &l));
  EXPECT_EQ(l, 123456u);
  EXPECT_FALSE(IfdShort(data, true, e, 0, &s));
  ASSERT_TRUE(w.Next(&e));
  uint32_t n = 0, d = 0;
  EXPECT_TRUE(IfdRational(data, true, e, 1, &n, &d));
  EXPECT_EQ(n, 72u);
  EXPECT_EQ(d, 2u);
  EXPECT_FALSE(w.Next(&e));
  EXPECT_EQ(w.NextIfdOffset(), 0u);
  EXPECT_EQ(TiffTypeSize(12), 8u);
  EXPECT_EQ(TiffTypeSize(0), 0u);
  EXPECT_EQ(TiffTypeSize(13), 0u);
}

TEST(TiffIfd, VisitSetRefusesRepeatsZeroAndTooMany) {
  IfdVisitSet v(3);
  EXPECT_FALSE(v.Visit(0));
  EXPECT_TRUE(v.Visit(8));
  EXPECT_FALSE(v.Visit(8));
  EXPECT_TRUE(v.Visit(100));
  EXPECT_TRUE(v.Visit(200));
  EXPECT_FALSE(v.Visit(300));
}

}  // namespace
}  // namespace vt
