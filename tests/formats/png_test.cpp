// The PNG reader on hand-made files: the chunk walk's rules, text chunks and
// their language rule, the background, and the animation chunks. Real files
// (PngSuite, Pillow's APNG set) are checked in the corpus table.
#include <cstring>

#include "formats/png/png_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::B;
using test::Be;
using test::PngChunk;

std::string Png(const std::string& chunks) {
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunks;
}
std::string Ihdr(uint32_t w, uint32_t h, int depth, int type, int interlace = 0) {
  return PngChunk("IHDR", Be(w, 4) + Be(h, 4) + B({depth, type, 0, 0, interlace}));
}
std::string Idat(const std::string& rows) {
  return PngChunk("IDAT", test::Deflate(rows));
}
const std::string kEnd = PngChunk("IEND", "");

// Rows of one 8-bit RGBA colour (0xRRGGBBAA), filter 0.
std::string Rgba8Rows(uint32_t w, uint32_t h, uint32_t rgba) {
  std::string rows;
  for (uint32_t y = 0; y < h; ++y) {
    rows += '\0';
    for (uint32_t x = 0; x < w; ++x) rows += Be(rgba, 4);
  }
  return rows;
}

std::string Fctl(uint32_t seq, uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint16_t num,
                 uint16_t den, int dispose, int blend) {
  return PngChunk("fcTL", Be(seq, 4) + Be(w, 4) + Be(h, 4) + Be(x, 4) + Be(y, 4) + Be(num, 2) +
                              Be(den, 2) + B({dispose, blend}));
}

test::Loaded Load(const std::string& bytes) {
  return test::Load(bytes, u"t.png", {.allFrames = true});
}

TEST(PngReader, RefusesBrokenFiles) {
  const std::string rows(3 * 13, '\0');  // 4 x 3 RGB, filter 0
  const std::string head = Ihdr(4, 3, 8, 2);
  const std::string good = Png(head + Idat(rows) + kEnd);
  auto probe = [](const std::string& s) { return ProbePng(*MakeMemorySource(u"a.png", s)); };
  EXPECT_EQ(probe(good), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 21)), status::kUnknownFormat);
  EXPECT_EQ(probe("\x89Q" + good.substr(2)), status::kUnknownFormat);
  std::string cut = Png(head + Idat(rows) + PngChunk("teXt", "abcdef"));
  cut.resize(cut.size() - 7);
  const struct {
    const char* what;
    std::string bytes;
    Status status;
  } kCases[] = {
      {"no IEND after the image data", Png(head + Idat(rows)), status::kOk},
      {"a chunk type with a digit", Png(head + Idat(rows) + PngChunk("a1cd", "x") + kEnd),
       status::kDamaged},
      {"a chunk past the end", cut, status::kDamaged},
      {"neither IDAT nor IEND", Png(head), status::kDamaged},
      {"IEND without image data", Png(head + kEnd), status::kDamaged},
      {"4-bit RGB", Png(Ihdr(4, 3, 4, 2) + Idat(rows) + kEnd), status::kUnsupportedSubformat},
      {"interlace method 2", Png(Ihdr(4, 3, 8, 2, 2) + Idat(rows) + kEnd),
       status::kUnsupportedSubformat},
      {"a malformed zlib stream", Png(head + PngChunk("IDAT", "\x78\x9c\xff\xff\xff") + kEnd),
       status::kDamaged},
  };
  for (const auto& c : kCases) EXPECT_EQ(Load(c.bytes).status, c.status) << c.what;
  // IEND without image data ends the header walk well: only decoding fails.
  EXPECT_EQ(test::OpenWith(CreatePngReader, Png(head + kEnd)), status::kOk);
}

TEST(PngReader, TextChunksAndTheirLanguageRule) {
  auto itxt = [](const std::string& key, int compressed, const std::string& lang,
                 const std::string& text) {
    return PngChunk("iTXt",
                    key + '\0' + char(compressed) + '\0' + lang + '\0' + "Titel" + '\0' + text);
  };
  const std::string plain = PngChunk("tEXt", std::string("Title\0Plain", 11));
  const std::string pixel = Idat(std::string(2, '\0')) + kEnd;
  const struct {
    std::string chunks;
    const char* title;
  } kCases[] = {
      {plain + itxt("Title", 1, "", "x"), "Plain"},  // compressed international text is not read
      {plain + itxt("Title", 0, "de", "Deutsch"), "Plain"},
      {plain + itxt("Title", 0, "en", "English"), "English"},
      {plain + itxt("Title", 0, "", "Neutral \xC3\xA9"), "Neutral \xC3\xA9"},
      {itxt("Title", 0, "de", "Deutsch"), "Deutsch"},  // without a title any language fills it
  };
  for (const auto& c : kCases) {
    test::Loaded l = Load(Png(Ihdr(1, 1, 8, 0) + c.chunks + pixel));
    ASSERT_TRUE(l.Ok());
    EXPECT_EQ(test::U8(*l.image->Properties().Get(PropertyId::Title)), c.title);
  }
  const std::string xmp =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description "
      "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator><rdf:Seq><rdf:li>Ann "
      "Lee</rdf:li></rdf:Seq></dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>";
  test::Loaded l =
      Load(Png(Ihdr(1, 1, 8, 0) + PngChunk("tEXt", std::string("Copyright\0(c) me", 16)) +
               PngChunk("tEXt", std::string("Unknown\0ignored", 15)) +
               itxt("XML:com.adobe.xmp", 0, "", xmp) +
               PngChunk("pHYs", Be(2835, 4) + Be(3780, 4) + B({1})) + pixel));
  ASSERT_TRUE(l.Ok());
  ImageProperties& p = l.image->Properties();
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Rights)), "(c) me");
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Author)), "Ann Lee");
  EXPECT_EQ(test::U8(*p.Get(PropertyId::PixelDensity)), "2835 x 3780 ppm");
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Compression)), "Inflate");
  // The background at the image's own depth.
  l = Load(Png(Ihdr(1, 1, 8, 2) + PngChunk("bKGD", Be(0x12, 2) + Be(0x34, 2) + Be(0x56, 2)) +
               Idat(std::string(4, '\0')) + kEnd));
  EXPECT_EQ(l.image->Frame().background, 0xFF123456u);
  l = Load(Png(Ihdr(1, 1, 1, 0) + PngChunk("bKGD", Be(1, 2)) + pixel));
  EXPECT_EQ(l.image->Frame().background, 0xFFFFFFFFu);
}

TEST(PngReader, AnimationChunks) {
  // The default image is the first frame; two fdAT frames follow with offsets,
  // timing and operations of their own, the last one's data in two chunks.
  auto three = [](uint32_t plays, uint16_t num0, uint16_t den0) {
    const std::string blue = test::Deflate(Rgba8Rows(2, 2, 0x0000FFFF));
    return Png(Ihdr(8, 6, 8, 6) + PngChunk("acTL", Be(3, 4) + Be(plays, 4)) +
               Fctl(0, 8, 6, 0, 0, num0, den0, 0, 0) + Idat(Rgba8Rows(8, 6, 0xFF0000FF)) +
               Fctl(1, 3, 2, 4, 3, 1, 0, 1, 1) +
               PngChunk("fdAT", Be(2, 4) + test::Deflate(Rgba8Rows(3, 2, 0x00FF0080))) +
               Fctl(3, 2, 2, 1, 1, 1, 3, 2, 0) + PngChunk("fdAT", Be(4, 4) + blue.substr(0, 5)) +
               PngChunk("fdAT", Be(5, 4) + blue.substr(5)) + kEnd);
  };
  test::Loaded l = Load(three(0, 0, 0));
  ASSERT_TRUE(l.Ok());
  ASSERT_EQ(l.image->ChainLength(), 3u);
  const struct {
    uint32_t width, height, x, y;
    int32_t delay;
    int disposal, blend;
    uint32_t pixel;  // 0xAARRGGBB of the bottom right
  } kFrames[] = {
      {8, 6, 0, 0, 17, 0, 0, 0xFFFF0000},  // 0/0 seconds
      {3, 2, 4, 3, 10, 1, 1, 0x8000FF00},  // 1/0 reads as 1/100
      {2, 2, 1, 1, 333, 2, 0, 0xFF0000FF},
  };
  int i = 0;
  for (ImageBuffer* f = l.image.get(); f; f = f->Next(), ++i) {
    const auto& w = kFrames[i];
    EXPECT_EQ(f->Width(), w.width);
    EXPECT_EQ(f->Height(), w.height);
    EXPECT_EQ(f->Frame().x, w.x);
    EXPECT_EQ(f->Frame().y, w.y);
    EXPECT_EQ(f->Frame().delay, w.delay);
    EXPECT_EQ(f->Frame().disposal, w.disposal);
    EXPECT_EQ(f->Frame().blend, w.blend);
    EXPECT_EQ(f->Frame().canvasWidth, 8u);
    uint32_t p;
    std::memcpy(&p, f->Row(w.height - 1) + 4 * (w.width - 1), 4);
    EXPECT_EQ(p, w.pixel) << i;
  }
  EXPECT_EQ(l.image->Frame().loop, 1);
  l = Load(three(1, 1, 3));
  EXPECT_EQ(l.image->Frame().loop, 0);  // played once
  EXPECT_EQ(l.image->Frame().delay, 333);

  // fcTL after IDAT: the first frame is the fdAT one, at its own size.
  l = Load(Png(Ihdr(4, 4, 8, 6) + PngChunk("acTL", Be(1, 4) + Be(0, 4)) +
               Idat(Rgba8Rows(4, 4, ~0u)) + Fctl(0, 2, 1, 2, 3, 5, 100, 0, 0) +
               PngChunk("fdAT", Be(1, 4) + test::Deflate(Rgba8Rows(2, 1, 0x112233FF))) + kEnd));
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.image->ChainLength(), 1u);
  EXPECT_EQ(l.image->Width(), 2u);
  EXPECT_EQ(l.image->Frame().canvasWidth, 4u);
  EXPECT_EQ(l.image->Frame().y, 3u);
  EXPECT_EQ(l.image->Frame().delay, 50);
  EXPECT_EQ(l.Px(1, 0), 0xFF112233u);
  // A frame region that leaves the canvas ends the animation there.
  l = Load(Png(Ihdr(4, 4, 8, 6) + PngChunk("acTL", Be(2, 4) + Be(0, 4)) +
               Fctl(0, 4, 4, 0, 0, 1, 10, 0, 0) + Idat(Rgba8Rows(4, 4, ~0u)) +
               Fctl(1, 4, 4, 1, 0, 1, 10, 0, 0) +
               PngChunk("fdAT", Be(2, 4) + test::Deflate(Rgba8Rows(4, 4, 0))) + kEnd));
  EXPECT_EQ(l.image->ChainLength(), 1u);
  // Pillow's samples: plays and a zero denominator (100/0 seconds reads as 100/100).
  const std::string dir = test::CorpusPath("pillow/Tests/images/apng/");
  EXPECT_EQ(test::LoadFile(dir + "num_plays_1.png", {.allFrames = true}).image->Frame().loop, 0);
  EXPECT_EQ(test::LoadFile(dir + "num_plays.png", {.allFrames = true}).image->Frame().loop, 1);
  EXPECT_EQ(test::LoadFile(dir + "delay_zero_denom.png", {.allFrames = true})
                .image->Next()
                ->Frame()
                .delay,
            1000);
}

}  // namespace
}  // namespace vt
