// The PNG reader on hand-made files: the chunk walk's rules, text chunks,
// transparency, animation control and truncation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/png/png_reader.h"
#include "image/file_source.h"
#include "png_test_util.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Be16;
using test::Be32;
using test::PngWriter;

// Rows of an 8-bit RGB image with every filter type in turn (the data are
// written with filter bytes but unfiltered values only for filter 0; the
// others still decode deterministically, which is all the prefix test needs).
std::string RgbRows(uint32_t w, uint32_t h, bool allNone) {
  std::string rows;
  for (uint32_t y = 0; y < h; ++y) {
    rows += char(allNone ? 0 : y % 5);
    for (uint32_t x = 0; x < w; ++x) rows += {char(x * 7), char(y * 11), char(x ^ y)};
  }
  return rows;
}

std::string Fctl(uint32_t seq, uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint16_t num,
                 uint16_t den, uint8_t dispose, uint8_t blend) {
  return Be32(seq) + Be32(w) + Be32(h) + Be32(x) + Be32(y) + Be16(num) + Be16(den) +
         std::string{char(dispose), char(blend)};
}

std::string Rgba8Rows(uint32_t w, uint32_t h, uint32_t rgba) {
  std::string rows;
  for (uint32_t y = 0; y < h; ++y) {
    rows += '\0';
    for (uint32_t x = 0; x < w; ++x)
      rows += {char(rgba >> 24), char(rgba >> 16), char(rgba >> 8), char(rgba)};
  }
  return rows;
}

uint32_t PixelBgra8(ImageBuffer* image, uint32_t x, uint32_t y) {
  uint32_t p;
  std::memcpy(&p, image->Row(y) + 4 * x, 4);
  return p;
}

TEST(PngReader, ProbeNeedsTheSignatureAndAnIhdrsWorth) {
  const std::string file = PngWriter().Ihdr(1, 1, 8, 0).Idat(std::string(2, '\0')).Iend().Bytes();
  EXPECT_EQ(ProbePng(*MakeMemorySource(u"a.png", file)), status::kOk);
  EXPECT_EQ(ProbePng(*MakeMemorySource(u"a.png", file.substr(0, 21))), status::kUnknownFormat);
  std::string bad = file;
  bad[1] = 'Q';
  EXPECT_EQ(ProbePng(*MakeMemorySource(u"a.png", bad)), status::kUnknownFormat);
}

TEST(PngReader, ChunkWalkRules) {
  const std::string rows = RgbRows(4, 3, true);
  // A file that ends without IEND but has image data decodes.
  test::PngDecoded noEnd = test::DecodePngBytes(PngWriter().Ihdr(4, 3, 8, 2).Idat(rows).Bytes());
  EXPECT_EQ(noEnd.status, status::kOk);
  // A type with a digit is damage, wherever it is.
  EXPECT_EQ(test::DecodePngBytes(
                PngWriter().Ihdr(4, 3, 8, 2).Idat(rows).Chunk("a1cd", "x").Iend().Bytes())
                .status,
            status::kDamaged);
  // A chunk whose data run past the end of the file.
  std::string cut = PngWriter().Ihdr(4, 3, 8, 2).Idat(rows).Chunk("teXt", "abcdef").Bytes();
  cut.resize(cut.size() - 7);
  EXPECT_EQ(test::DecodePngBytes(cut).status, status::kDamaged);
  // Neither IEND nor IDAT.
  EXPECT_EQ(test::DecodePngBytes(PngWriter().Ihdr(4, 3, 8, 2).Bytes()).status, status::kDamaged);
  // IEND without image data ends the header walk well, but there is nothing to decode.
  auto source = MakeMemorySource(u"e.png", PngWriter().Ihdr(4, 3, 8, 2).Iend().Bytes());
  const FormatRecord record{u"png", u"Portable network graphics", ProbePng, CreatePngReader};
  RefPtr<ImageReader> reader = CreatePngReader(source.get(), &record);
  EXPECT_EQ(reader->Open(), status::kOk);
  EXPECT_EQ(test::DecodePngBytes(PngWriter().Ihdr(4, 3, 8, 2).Iend().Bytes()).status,
            status::kDamaged);
  // Unsupported header values.
  EXPECT_EQ(test::DecodePngBytes(PngWriter().Ihdr(4, 3, 4, 2).Idat(rows).Iend().Bytes()).status,
            status::kUnsupportedSubformat);
  EXPECT_EQ(test::DecodePngBytes(PngWriter().Ihdr(4, 3, 8, 2, 2).Idat(rows).Iend().Bytes()).status,
            status::kUnsupportedSubformat);
  // A malformed zlib stream.
  EXPECT_EQ(test::DecodePngBytes(
                PngWriter().Ihdr(4, 3, 8, 2).Chunk("IDAT", "\x78\x9c\xff\xff\xff").Iend().Bytes())
                .status,
            status::kDamaged);
}

TEST(PngReader, GreyKeyMakesThoseLevelsTransparent) {
  // 2-bit grey, levels 0..3 across, tRNS grey 3: white becomes transparent.
  const std::string file = PngWriter()
                               .Ihdr(4, 1, 2, 0)
                               .Chunk("tRNS", Be16(3))
                               .Idat(std::string{0, char(0x1B)})
                               .Iend()
                               .Bytes();
  test::PngDecoded d = test::DecodePngBytes(file);
  ASSERT_EQ(d.status, status::kOk);
  ASSERT_EQ(d.image->Format(), PixelFormat::Bgra8);
  EXPECT_EQ(d.reader->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(PixelBgra8(d.image.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(PixelBgra8(d.image.get(), 1, 0), 0xFF555555u);
  EXPECT_EQ(PixelBgra8(d.image.get(), 2, 0), 0xFFAAAAAAu);
  EXPECT_EQ(PixelBgra8(d.image.get(), 3, 0), 0x00FFFFFFu);
}

TEST(PngReader, TextChunksAndLanguageRule) {
  auto itxt = [](const std::string& key, char compressed, const std::string& lang,
                 const std::string& text) {
    return key + '\0' + compressed + '\0' + lang + '\0' + "Titel" + '\0' + text;
  };
  auto title = [](const std::string& file) {
    test::PngDecoded d = test::DecodePngBytes(file);
    const std::u16string* t = d.image ? d.image->Properties().Get(PropertyId::Title) : nullptr;
    return t ? test::U8(*t) : std::string();
  };
  auto base = [] {
    return PngWriter().Ihdr(1, 1, 8, 0).Chunk("tEXt", std::string("Title\0Plain", 11));
  };
  const std::string pixel = std::string(2, '\0');
  EXPECT_EQ(title(base().Chunk("iTXt", itxt("Title", 1, "", "x")).Idat(pixel).Iend().Bytes()),
            "Plain");
  EXPECT_EQ(title(base().Chunk("iTXt", itxt("Title", 0, "de", "Deutsch")).Idat(pixel).Iend().Bytes()),
            "Plain");
  EXPECT_EQ(title(base().Chunk("iTXt", itxt("Title", 0, "en", "English")).Idat(pixel).Iend().Bytes()),
            "English");
  EXPECT_EQ(title(base().Chunk("iTXt", itxt("Title", 0, "", "Neutral \xC3\xA9")).Idat(pixel).Iend().Bytes()),
            "Neutral \xC3\xA9");
  // Without a title set, any language fills it.
  EXPECT_EQ(title(PngWriter().Ihdr(1, 1, 8, 0).Chunk("iTXt", itxt("Title", 0, "de", "Deutsch"))
                      .Idat(pixel).Iend().Bytes()),
            "Deutsch");

  const std::string xmp =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
      "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator><rdf:Seq><rdf:li>Ann "
      "Lee</rdf:li></rdf:Seq></dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>";
  test::PngDecoded d = test::DecodePngBytes(
      PngWriter()
          .Ihdr(1, 1, 8, 0)
          .Chunk("tEXt", std::string("Copyright\0(c) me", 16))
          .Chunk("tEXt", std::string("Unknown\0ignored", 15))
          .Chunk("iTXt", itxt("XML:com.adobe.xmp", 0, "", xmp))
          .Chunk("pHYs", Be32(2835) + Be32(3780) + std::string(1, '\1'))
          .Idat(pixel)
          .Iend()
          .Bytes());
  ASSERT_EQ(d.status, status::kOk);
  ImageProperties& p = d.image->Properties();
  ASSERT_TRUE(p.Get(PropertyId::Rights));
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Rights)), "(c) me");
  ASSERT_TRUE(p.Get(PropertyId::Author));
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Author)), "Ann Lee");
  ASSERT_TRUE(p.Get(PropertyId::PixelDensity));
  EXPECT_EQ(test::U8(*p.Get(PropertyId::PixelDensity)), "2835 x 3780 ppm");
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Compression)), "Inflate");
}

TEST(PngReader, BackgroundAtTheImagesDepth) {
  const std::string pixel = std::string(4, '\0');
  test::PngDecoded rgb = test::DecodePngBytes(
      PngWriter().Ihdr(1, 1, 8, 2).Chunk("bKGD", Be16(0x12) + Be16(0x34) + Be16(0x56)).Idat(pixel).Iend().Bytes());
  ASSERT_EQ(rgb.status, status::kOk);
  EXPECT_EQ(rgb.image->Frame().background, 0xFF123456u);
  test::PngDecoded grey = test::DecodePngBytes(
      PngWriter().Ihdr(1, 1, 1, 0).Chunk("bKGD", Be16(1)).Idat(std::string(2, '\0')).Iend().Bytes());
  ASSERT_EQ(grey.status, status::kOk);
  EXPECT_EQ(grey.image->Frame().background, 0xFFFFFFFFu);
}

// An animation of three frames: the default image is the first frame, the
// next two are fdAT frames with offsets, timing and operations of their own.
std::string ThreeFrames(uint32_t plays, uint16_t num0, uint16_t den0) {
  return PngWriter()
      .Ihdr(8, 6, 8, 6)
      .Chunk("acTL", Be32(3) + Be32(plays))
      .Chunk("fcTL", Fctl(0, 8, 6, 0, 0, num0, den0, 0, 0))
      .Idat(Rgba8Rows(8, 6, 0xFF0000FF))
      .Chunk("fcTL", Fctl(1, 3, 2, 4, 3, 1, 0, 1, 1))
      .Chunk("fdAT", Be32(2) + test::Deflate(Rgba8Rows(3, 2, 0x00FF0080)))
      .Chunk("fcTL", Fctl(3, 2, 2, 1, 1, 1, 3, 2, 0))
      .Chunk("fdAT", Be32(4) + test::Deflate(Rgba8Rows(2, 2, 0x0000FFFF)).substr(0, 5))
      .Chunk("fdAT", Be32(5) + test::Deflate(Rgba8Rows(2, 2, 0x0000FFFF)).substr(5))
      .Iend()
      .Bytes();
}

TEST(PngReader, AnimationFramesAndDescriptions) {
  test::PngDecoded d = test::DecodePngBytes(ThreeFrames(0, 0, 0), true);
  ASSERT_EQ(d.status, status::kOk);
  ImageBuffer* f0 = d.image.get();
  ASSERT_EQ(f0->ChainLength(), 3u);
  ImageBuffer* f1 = f0->Next();
  ImageBuffer* f2 = f1->Next();
  EXPECT_EQ(f0->Width(), 8u);
  EXPECT_EQ(f0->Frame().delay, 17);  // 0/0
  EXPECT_EQ(f0->Frame().loop, 1);
  EXPECT_EQ(PixelBgra8(f0, 7, 5), 0xFFFF0000u);
  EXPECT_EQ(f1->Width(), 3u);
  EXPECT_EQ(f1->Height(), 2u);
  EXPECT_EQ(f1->Frame().x, 4u);
  EXPECT_EQ(f1->Frame().y, 3u);
  EXPECT_EQ(f1->Frame().canvasWidth, 8u);
  EXPECT_EQ(f1->Frame().delay, 10);  // 1/0 reads as 1/100
  EXPECT_EQ(f1->Frame().disposal, 1);
  EXPECT_EQ(f1->Frame().blend, 1);
  EXPECT_EQ(PixelBgra8(f1, 2, 1), 0x8000FF00u);
  EXPECT_EQ(f2->Frame().delay, 333);  // 1/3
  EXPECT_EQ(f2->Frame().disposal, 2);
  EXPECT_EQ(f2->Frame().blend, 0);
  EXPECT_EQ(f2->Frame().x, 1u);
  // Its data come from two fdAT chunks.
  EXPECT_EQ(PixelBgra8(f2, 1, 1), 0xFF0000FFu);

  test::PngDecoded once = test::DecodePngBytes(ThreeFrames(1, 1, 3), true);
  ASSERT_EQ(once.status, status::kOk);
  EXPECT_EQ(once.image->Frame().loop, 0);
  EXPECT_EQ(once.image->Frame().delay, 333);
}

TEST(PngReader, DefaultImageOutsideTheAnimation) {
  // fcTL after IDAT: the first frame is the fdAT one, at its own size.
  const std::string file = PngWriter()
                               .Ihdr(4, 4, 8, 6)
                               .Chunk("acTL", Be32(1) + Be32(0))
                               .Idat(Rgba8Rows(4, 4, 0xFFFFFFFF))
                               .Chunk("fcTL", Fctl(0, 2, 1, 2, 3, 5, 100, 0, 0))
                               .Chunk("fdAT", Be32(1) + test::Deflate(Rgba8Rows(2, 1, 0x112233FF)))
                               .Iend()
                               .Bytes();
  test::PngDecoded d = test::DecodePngBytes(file, true);
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->ChainLength(), 1u);
  EXPECT_EQ(d.image->Width(), 2u);
  EXPECT_EQ(d.image->Height(), 1u);
  EXPECT_EQ(d.image->Frame().canvasWidth, 4u);
  EXPECT_EQ(d.image->Frame().x, 2u);
  EXPECT_EQ(d.image->Frame().y, 3u);
  EXPECT_EQ(d.image->Frame().delay, 50);
  EXPECT_EQ(PixelBgra8(d.image.get(), 1, 0), 0xFF112233u);
  // A frame region that leaves the canvas ends the animation there.
  const std::string outside = PngWriter()
                                  .Ihdr(4, 4, 8, 6)
                                  .Chunk("acTL", Be32(2) + Be32(0))
                                  .Chunk("fcTL", Fctl(0, 4, 4, 0, 0, 1, 10, 0, 0))
                                  .Idat(Rgba8Rows(4, 4, 0xFFFFFFFF))
                                  .Chunk("fcTL", Fctl(1, 4, 4, 1, 0, 1, 10, 0, 0))
                                  .Chunk("fdAT", Be32(2) + test::Deflate(Rgba8Rows(4, 4, 0)))
                                  .Iend()
                                  .Bytes();
  test::PngDecoded o = test::DecodePngBytes(outside, true);
  ASSERT_EQ(o.status, status::kOk);
  EXPECT_EQ(o.image->ChainLength(), 1u);
}

// Every prefix either fails or decodes; a prefix that holds all the image
// data decodes to the whole image, and rows that did not arrive are zero.
TEST(PngReader, EveryPrefixGivesAnErrorOrAPartialImage) {
  for (uint8_t interlace : {0, 1}) {
    const std::string rows = RgbRows(13, 9, true);
    std::string file;
    if (interlace) {
      // Adam7 data for the same image, built pass by pass.
      std::string data;
      static const uint32_t p[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
      for (const auto& q : p) {
        for (uint32_t y = q[1]; y < 9; y += q[3]) {
          if (q[0] >= 13) break;
          data += '\0';
          for (uint32_t x = q[0]; x < 13; x += q[2])
            data += {char(x * 7), char(y * 11), char(x ^ y)};
        }
      }
      file = PngWriter().Ihdr(13, 9, 8, 2, 1).Idat(data).Iend().Bytes();
    } else {
      file = PngWriter().Ihdr(13, 9, 8, 2).Idat(rows).Iend().Bytes();
    }
    const test::PngDecoded whole = test::DecodePngBytes(file);
    ASSERT_EQ(whole.status, status::kOk);
    const std::vector<uint16_t> full = test::RgbaSamples(whole.image.get());
    EXPECT_EQ(full[4 * (13 * 2 + 5)], 35);  // red of (5, 2) is 5 * 7
    size_t decoded = 0;
    for (size_t n = 1; n <= file.size(); ++n) {
      const test::PngDecoded d = test::DecodePngBytes(file.substr(0, n));
      ASSERT_TRUE(d.status == status::kOk || d.status == status::kDamaged ||
                  d.status == status::kUnknownFormat)
          << n;
      if (d.status != status::kOk) continue;
      ++decoded;
      const std::vector<uint16_t> got = test::RgbaSamples(d.image.get());
      if (n >= file.size() - 12) {
        EXPECT_EQ(got, full) << n;
      } else if (!interlace) {
        // Whole rows are the image's, the rest black.
        for (size_t i = 0; i < got.size(); i += 4) {
          const bool same = std::equal(got.begin() + i, got.begin() + i + 3, full.begin() + i);
          const bool black = got[i] == 0 && got[i + 1] == 0 && got[i + 2] == 0;
          ASSERT_TRUE(same || black) << n << " sample " << i;
        }
      }
    }
    EXPECT_GT(decoded, 12u);
  }
}

}  // namespace
}  // namespace vt
