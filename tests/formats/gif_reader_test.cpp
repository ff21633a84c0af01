// The GIF reader on files built here block by block: the logical screen and
// tables, graphic control, backgrounds, looping, comments, XMP, interlacing,
// truncation, damage and the limits on frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/builtin_formats.h"
#include "gif_test_util.h"
#include "support/test_support.h"

namespace vt {
namespace {

using gif_test::GifImage;
using gif_test::GifWriter;
using gif_test::LoadGif;
using gif_test::OpenGif;
using gif_test::PixelAt;

const std::vector<uint32_t> kFour = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

GifImage Solid(uint32_t w, uint32_t h, uint8_t index, uint32_t x = 0, uint32_t y = 0) {
  GifImage im;
  im.x = x;
  im.y = y;
  im.width = w;
  im.height = h;
  im.pixels.assign(size_t{w} * h, index);
  return im;
}

GifImage Pattern(uint32_t w, uint32_t h, uint32_t colours, uint32_t seed = 1) {
  GifImage im = Solid(w, h, 0);
  const std::vector<uint8_t> r = test::RandomBytes(im.pixels.size(), seed);
  for (size_t i = 0; i < r.size(); ++i) im.pixels[i] = static_cast<uint8_t>(r[i] % colours);
  int bits = 2;
  while ((1u << bits) < colours) ++bits;
  im.minimumCodeSize = bits;
  return im;
}

std::string Text(ImageProperties& p, PropertyId id) {
  const std::u16string* t = p.Get(id);
  return t ? test::U8(*t) : std::string();
}

std::vector<ImageReader*> Chain(ImageReader* first) {
  std::vector<ImageReader*> v;
  for (ImageReader* r = first; r; r = r->NextReader()) v.push_back(r);
  return v;
}

TEST(GifProbe, SignatureAndLength) {
  auto probe = [](const std::string& bytes) {
    return ProbeGif(*MakeMemorySource(u"x.gif", bytes));
  };
  EXPECT_EQ(probe("GIF89a" + std::string(8, '\0')), status::kOk);
  EXPECT_EQ(probe("GIF00z" + std::string(8, '\0')), status::kOk);  // version not checked
  EXPECT_EQ(probe("GIF89a" + std::string(7, '\0')), status::kUnknownFormat);
  EXPECT_EQ(probe("GIX89a" + std::string(8, '\0')), status::kUnknownFormat);

  // Registered: a GIF under another name is found by probing.
  FormatRegistry registry;
  RegisterBuiltinFormats(registry);
  RefPtr<ImageReader> reader;
  const std::string file = GifWriter(1, 1, kFour).Image(Solid(1, 1, 2)).Finish();
  ASSERT_EQ(registry.OpenReader(MakeMemorySource(u"picture.bin", file).get(), &reader),
            status::kOk);
  EXPECT_EQ(Text(reader->Properties(), PropertyId::FileFormat), "Graphics interchange format");
  EXPECT_EQ(Text(reader->Properties(), PropertyId::Compression), "LZW");
}

TEST(GifHeader, DamagedFiles) {
  RefPtr<ImageReader> r;
  EXPECT_EQ(OpenGif(GifWriter(1, 1, kFour).Finish(), &r), status::kDamaged);  // no image
  EXPECT_EQ(OpenGif(GifWriter(1, 1).Raw(std::string(1, '\0')).Bytes(), &r), status::kDamaged);
  EXPECT_EQ(OpenGif("GIF89a\x01", &r), status::kDamaged);
  EXPECT_EQ(OpenGif("BIF89a" + std::string(20, '\0'), &r), status::kUnknownFormat);
  // A global table the file does not hold.
  const std::string whole = GifWriter(1, 1, kFour).Image(Solid(1, 1, 1)).Finish();
  EXPECT_EQ(OpenGif(whole.substr(0, 20), &r), status::kDamaged);
  // An unknown introducer before any image is damage; after one it ends the file.
  EXPECT_EQ(OpenGif(GifWriter(1, 1, kFour).Raw("\x42").Image(Solid(1, 1, 1)).Finish(), &r),
            status::kDamaged);
  ASSERT_EQ(OpenGif(GifWriter(1, 1, kFour).Image(Solid(1, 1, 1)).Raw("\x42").Image(Solid(1, 1, 2))
                        .Finish(),
                    &r),
            status::kOk);
  EXPECT_EQ(Chain(r.get()).size(), 1u);
  // A first frame with no area, or beyond the pixel limit.
  EXPECT_EQ(OpenGif(GifWriter(0, 0, kFour).Image(Solid(0, 0, 1)).Finish(), &r), status::kDamaged);
  GifImage huge = Solid(1, 1, 0);
  huge.width = huge.height = 65535;
  std::string big = GifWriter(65535, 65535, kFour).Bytes();
  big += std::string("\x2C\0\0\0\0\xFF\xFF\xFF\xFF\0\x02\x01\x05\0;", 15);
  EXPECT_EQ(OpenGif(big, &r), status::kDamaged);
}

TEST(GifHeader, ScreenFrameAndDepth) {
  // Colour resolution 3 bits (code 2), a 4-entry global table, a 16-entry local one.
  std::vector<uint32_t> local(16, 0x123456);
  GifImage second = Solid(3, 2, 5, 7, 9);
  second.localTable = local;
  second.minimumCodeSize = 4;
  GifImage zero = Solid(1, 1, 1);
  RefPtr<ImageReader> r;
  ASSERT_EQ(OpenGif(GifWriter(20, 30, kFour, 0, 2)
                        .Image(Solid(4, 5, 1, 2, 3))
                        .Image(second)
                        .Finish(),
                    &r),
            status::kOk);
  EXPECT_EQ(r->Width(), 4u);
  EXPECT_EQ(r->Height(), 5u);
  EXPECT_EQ(r->MinRows(), 6u);
  EXPECT_EQ(r->OutputFormat(), PixelFormat::Indexed8);
  EXPECT_EQ(r->Model(), ColourModel::Rgb);
  EXPECT_EQ(r->Alpha(), AlphaMode::None);
  EXPECT_EQ(r->BitDepth(), 3u);  // colour resolution beats a 2-bit table
  EXPECT_EQ(Text(r->Properties(), PropertyId::Dimensions), "3");
  EXPECT_EQ(r->Frame().canvasWidth, 20u);
  EXPECT_EQ(r->Frame().canvasHeight, 30u);
  EXPECT_EQ(r->Frame().x, 2u);
  EXPECT_EQ(r->Frame().y, 3u);
  ImageReader* n = r->NextReader();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Width(), 3u);
  EXPECT_EQ(n->Height(), 2u);
  EXPECT_EQ(n->MinRows(), 3u);
  EXPECT_EQ(n->BitDepth(), 4u);
  EXPECT_EQ(n->Frame().x, 7u);
  EXPECT_EQ(n->Frame().y, 9u);
  EXPECT_EQ(n->Frame().canvasWidth, 20u);
  EXPECT_EQ(n->OutputFormat(), PixelFormat::Indexed8);
  EXPECT_EQ(n->NextReader(), nullptr);

  // A descriptor of width 0 keeps the screen's width.
  std::string file = GifWriter(6, 4, kFour).Image(Solid(6, 1, 1)).Finish();
  file[13 + 12 + 5] = 0;  // descriptor width, low byte
  ASSERT_EQ(OpenGif(file, &r), status::kOk);
  EXPECT_EQ(r->Width(), 6u);
  EXPECT_EQ(r->Height(), 1u);
}

TEST(GifHeader, GraphicControlDelaysDisposalAndTransparency) {
  GifWriter w(2, 2, kFour);
  w.Control(0x00, 0).Image(Solid(2, 2, 1));   // delay 0
  w.Control(0x00, 25).Image(Solid(2, 2, 1));  // 250 ms
  w.Control(0x02, 25).Image(Solid(2, 2, 1));  // user input: a page
  for (uint8_t d = 0; d < 8; ++d) w.Control(static_cast<uint8_t>(d << 2), 1).Image(Solid(2, 2, 1));
  w.Control(0x01, 3, 2).Image(Solid(2, 2, 2));  // transparent index 2
  w.Image(Solid(2, 2, 2));                     // control consumed: none left
  RefPtr<ImageReader> r;
  ASSERT_EQ(OpenGif(w.Finish(), &r), status::kOk);
  const std::vector<ImageReader*> f = Chain(r.get());
  ASSERT_EQ(f.size(), 13u);
  EXPECT_EQ(f[0]->Frame().delay, 0);
  EXPECT_EQ(f[1]->Frame().delay, 250);
  EXPECT_EQ(f[2]->Frame().delay, -1);
  const uint8_t disposal[8] = {0, 0, 1, 2, 0, 0, 0, 0};
  for (int d = 0; d < 8; ++d) EXPECT_EQ(f[3 + d]->Frame().disposal, disposal[d]) << d;
  for (int d = 0; d < 11; ++d) {
    EXPECT_EQ(f[d]->Frame().blend, 0);
    EXPECT_EQ(f[d]->Alpha(), AlphaMode::None);
  }
  EXPECT_EQ(f[11]->Frame().blend, 1);
  EXPECT_EQ(f[11]->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(f[11]->Frame().delay, 30);
  EXPECT_EQ(f[12]->Frame().blend, 0);
  EXPECT_EQ(f[12]->Alpha(), AlphaMode::None);
  EXPECT_EQ(f[12]->Frame().delay, 0);

  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(w.Finish(), &image), status::kOk);
  ASSERT_EQ(image->ChainLength(), 13u);
  ImageBuffer* t = image.get();
  for (int i = 0; i < 11; ++i) t = t->Next();
  EXPECT_EQ(t->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(PixelAt(t, 1, 1), 0x000000FFu);  // blue, alpha 0
  EXPECT_EQ(t->Palette()[1], 0xFF00FF00u);
  EXPECT_EQ(PixelAt(t->Next(), 1, 1), 0xFF0000FFu);
  // One frame waits for the user: the file is two pages.
  EXPECT_EQ(Text(image->Properties(), PropertyId::Page), "1:2");
  EXPECT_EQ(Text(t->Properties(), PropertyId::Page), "2:2");
}

TEST(GifHeader, BackgroundColour) {
  auto background = [](const std::string& file, AlphaMode* alpha = nullptr) {
    RefPtr<ImageReader> r;
    EXPECT_EQ(OpenGif(file, &r), status::kOk);
    if (alpha) *alpha = r->Alpha();
    return r->Frame().background;
  };
  // From the global table, blue-green-red-alpha.
  EXPECT_EQ(background(GifWriter(1, 1, kFour, 1).Image(Solid(1, 1, 0)).Finish()), 0xFF00FF00u);
  // Outside the table, or without a global table: none.
  EXPECT_EQ(background(GifWriter(1, 1, {0xFF0000, 0x00FF00}, 3).Image(Solid(1, 1, 0)).Finish()),
            0u);
  GifImage local = Solid(1, 1, 0);
  local.localTable = kFour;
  EXPECT_EQ(background(GifWriter(1, 1, {}, 1).Image(local).Finish()), 0u);
  // A transparent first frame with background index 0 takes no colour.
  EXPECT_EQ(background(GifWriter(1, 1, kFour, 0).Control(1, 0, 3).Image(Solid(1, 1, 0)).Finish()),
            0u);
  // Background index equal to the transparent index: transparent background.
  AlphaMode alpha = AlphaMode::None;
  EXPECT_EQ(background(GifWriter(1, 1, kFour, 2).Control(1, 0, 2).Image(Solid(1, 1, 0)).Finish(),
                       &alpha),
            0x000000FFu);
  EXPECT_EQ(alpha, AlphaMode::Straight);
  // Later frames carry the first frame's background.
  RefPtr<ImageReader> r;
  ASSERT_EQ(OpenGif(GifWriter(1, 1, kFour, 3).Image(Solid(1, 1, 0)).Image(Solid(1, 1, 0)).Finish(),
                    &r),
            status::kOk);
  ASSERT_NE(r->NextReader(), nullptr);
  EXPECT_EQ(r->NextReader()->Frame().background, 0xFFFFFFFFu);
}

TEST(GifHeader, Looping) {
  auto loop = [](GifWriter w) {
    RefPtr<ImageReader> r;
    EXPECT_EQ(OpenGif(w.Finish(), &r), status::kOk);
    std::vector<int> flags;
    for (ImageReader* f : Chain(r.get())) flags.push_back(f->Frame().loop);
    return flags;
  };
  EXPECT_EQ(loop(GifWriter(1, 1, kFour).Loop(0).Image(Solid(1, 1, 0))), std::vector<int>{1});
  EXPECT_EQ(loop(GifWriter(1, 1, kFour).Loop(1).Image(Solid(1, 1, 0))), std::vector<int>{0});
  EXPECT_EQ(loop(GifWriter(1, 1, kFour).Loop(5).Image(Solid(1, 1, 0))), std::vector<int>{1});
  EXPECT_EQ(loop(GifWriter(1, 1, kFour).Image(Solid(1, 1, 0))), std::vector<int>{0});
  // The buffering sub-block (id 2) holds no repeat count.
  EXPECT_EQ(loop(GifWriter(1, 1, kFour)
                     .Application("NETSCAPE2.0", {std::string("\x02\0\x04\0\0", 5)})
                     .Image(Solid(1, 1, 0))),
            std::vector<int>{0});
  // A looping block after the first image still applies to every frame.
  EXPECT_EQ(loop(GifWriter(1, 1, kFour).Image(Solid(1, 1, 0)).Loop(0).Image(Solid(1, 1, 0))),
            (std::vector<int>{1, 1}));
}

TEST(GifProperties, Comments) {
  auto comment = [](GifWriter w) {
    RefPtr<ImageReader> r;
    EXPECT_EQ(OpenGif(w.Image(Solid(1, 1, 0)).Finish(), &r), status::kOk);
    return Text(r->Properties(), PropertyId::Comment);
  };
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment({"Hello"})), "Hello");
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment({"Hel", "lo ", "w\xF6rld  "})), "Hello w\u00F6rld");
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment({"first"}).Comment({"second"})), "first");
  // Empty comments leave the slot for the next one.
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment({}).Comment({"later"})), "later");
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment({std::string(1, '\0')})), "");
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment({"ab", std::string("c\0d", 3)})), "abc");
  // A long one spread over many blocks.
  std::vector<std::string> blocks(40, std::string(255, 'x'));
  EXPECT_EQ(comment(GifWriter(1, 1, kFour).Comment(blocks)), std::string(40 * 255, 'x'));
}

TEST(GifProperties, XmpPacketStoredRaw) {
  const std::string packet =
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>"
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
      "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
      "xml:lang='x-default'>Harbour at dusk " +
      std::string(300, '-') +
      "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>"
      "<?xpacket end='w'?>";
  std::string ramp(1, '\x01');
  for (int v = 255; v >= 0; --v) ramp.push_back(static_cast<char>(v));
  // The packet goes in as it is: the walk over "sub-blocks" ends on the ramp.
  std::string file = GifWriter(1, 1, kFour).Raw("\x21\xFF\x0BXMP DataXMP").Raw(packet).Raw(ramp)
                         .Raw(std::string(1, '\0'))
                         .Image(Solid(1, 1, 0))
                         .Finish();
  RefPtr<ImageReader> r;
  ASSERT_EQ(OpenGif(file, &r), status::kOk);
  EXPECT_EQ(Text(r->Properties(), PropertyId::Title), "Harbour at dusk " + std::string(300, '-'));
  EXPECT_EQ(Chain(r.get()).size(), 1u);
}

TEST(GifPixels, GreyRampWithoutAnyTable) {
  GifImage im = Pattern(16, 4, 16);
  im.minimumCodeSize = 8;
  for (size_t i = 0; i < im.pixels.size(); ++i) im.pixels[i] = static_cast<uint8_t>(i * 4);
  // Colour resolution 8 bits: an 8-bit grey ramp arrives as Gray8.
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(GifWriter(16, 4, {}, 0, 7).Image(im).Finish(), &image), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Gray8);
  EXPECT_EQ(gif_test::FrameIndices(image.get()), im.pixels);
  // At 1 bit of resolution it stays indexed with the ramp as palette.
  ASSERT_EQ(LoadGif(GifWriter(16, 4, {}, 0, 0).Image(im).Finish(), &image), status::kOk);
  ASSERT_EQ(image->Format(), PixelFormat::Indexed8);
  for (uint32_t x = 0; x < 16; ++x) EXPECT_EQ(PixelAt(image.get(), x, 1), (64 + x * 4) * 0x010101u | 0xFF000000u);
}

TEST(GifPixels, LocalTablesAndTheTableInEffect) {
  const std::vector<uint32_t> localA = {0x101010, 0x202020, 0x303030, 0x404040};
  const std::vector<uint32_t> localB = {0xA0A0A0, 0xB0B0B0};
  GifImage a = Solid(2, 1, 3);
  a.localTable = localA;
  GifImage b = Solid(2, 1, 1);
  b.localTable = localB;
  // No global table: a frame without a local table keeps the previous frame's.
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(GifWriter(2, 1).Image(a).Image(Solid(2, 1, 2)).Image(b).Image(Solid(2, 1, 1))
                        .Finish(),
                    &image),
            status::kOk);
  ASSERT_EQ(image->ChainLength(), 4u);
  EXPECT_EQ(PixelAt(image.get(), 0, 0), 0xFF404040u);
  EXPECT_EQ(PixelAt(image->Next(), 1, 0), 0xFF303030u);
  EXPECT_EQ(PixelAt(image->Next()->Next(), 0, 0), 0xFFB0B0B0u);
  EXPECT_EQ(PixelAt(image->Next()->Next()->Next(), 0, 0), 0xFFB0B0B0u);
  // With a global table, frames without a local one go back to it.
  ASSERT_EQ(LoadGif(GifWriter(2, 1, kFour).Image(a).Image(Solid(2, 1, 2)).Finish(), &image),
            status::kOk);
  EXPECT_EQ(PixelAt(image.get(), 0, 0), 0xFF404040u);
  EXPECT_EQ(PixelAt(image->Next(), 0, 0), 0xFF0000FFu);  // blue
}

TEST(GifPixels, InterlacedRows) {
  for (uint32_t h : {1u, 2u, 3u, 4u, 5u, 8u, 9u, 17u, 33u}) {
    GifImage plain = Pattern(7, h, 4, h);
    GifImage laced = plain;
    laced.interlaced = true;
    for (bool display : {false, true}) {
      RefPtr<ImageBuffer> image;
      ASSERT_EQ(LoadGif(GifWriter(7, h, kFour).Image(laced).Finish(), &image, display),
                status::kOk);
      EXPECT_EQ(gif_test::FrameIndices(image.get()), plain.pixels) << h << " " << display;
    }
  }
  // Two interlaced rows are stored in plain order, the same as not interlaced.
  GifImage two = Pattern(5, 2, 4);
  std::string file = GifWriter(5, 2, kFour).Image(two).Finish();
  file[13 + 12 + 9] |= 0x40;
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(file, &image), status::kOk);
  EXPECT_EQ(gif_test::FrameIndices(image.get()), two.pixels);
}

TEST(GifPixels, DataCutShortShowThrough) {
  GifImage im = Pattern(64, 64, 4);
  const std::string whole = GifWriter(64, 64, kFour).Image(im).Finish();
  // Cut in the middle of the data, then close the block chain properly: the
  // frame decodes its first pixels and leaves the rest transparent.
  const size_t dataStart = 13 + 12 + 10;
  std::string cut = whole.substr(0, dataStart + 1 + 1 + 40);
  cut[dataStart + 1] = 40;
  cut += std::string(1, '\0') + ";";
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(cut, &image), status::kOk);
  EXPECT_EQ(image->Alpha(), AlphaMode::Straight);
  const std::vector<uint8_t> got = gif_test::FrameIndices(image.get());
  size_t decoded = 0;
  while (decoded < got.size() && got[decoded] == im.pixels[decoded]) ++decoded;
  EXPECT_GT(decoded, 40u);
  for (size_t i = decoded; i < got.size(); ++i) ASSERT_EQ(got[i], 4) << i;  // first unused index
  EXPECT_EQ(image->Palette()[4] >> 24, 0u);
  EXPECT_EQ(image->Palette()[3], 0xFFFFFFFFu);

  // With a transparent index, that index fills the rest.
  std::string transparent = GifWriter(64, 64, kFour).Control(1, 0, 1).Bytes() + cut.substr(25);
  ASSERT_EQ(LoadGif(transparent, &image), status::kOk);
  EXPECT_EQ(gif_test::FrameIndices(image.get()).back(), 1);
  // A full 256-entry table without transparency leaves index 0 and no alpha.
  std::vector<uint32_t> full(256, 0x777777);
  GifImage big = im;
  big.minimumCodeSize = 8;
  std::string file = GifWriter(64, 64, full).Image(big).Bytes();
  file.resize(file.size() - 200);
  ASSERT_EQ(LoadGif(file, &image), status::kOk);
  EXPECT_EQ(image->Alpha(), AlphaMode::None);
  EXPECT_EQ(gif_test::FrameIndices(image.get()).back(), 0);
}

// Every prefix of an animation gives an error or frames whose pixels are those
// of the whole file where they are opaque.
TEST(GifDecode, EveryPrefixGivesAnErrorOrThePartThatArrived) {
  GifImage a = Pattern(12, 10, 4, 1);
  GifImage b = Pattern(6, 9, 16, 2);
  b.x = 3;
  b.localTable = std::vector<uint32_t>(16);
  for (uint32_t i = 0; i < 16; ++i) b.localTable[i] = i * 0x0F0F0F;
  b.interlaced = true;
  GifImage c = Pattern(12, 10, 4, 3);
  const std::string file = GifWriter(12, 10, kFour, 1)
                               .Loop(0)
                               .Comment({"made ", "here"})
                               .Control(0, 10)
                               .Image(a)
                               .Control(1 | 2 << 2, 20, 3)
                               .Image(b)
                               .Control(0, 30)
                               .Image(c)
                               .Finish();
  RefPtr<ImageBuffer> full;
  ASSERT_EQ(LoadGif(file, &full), status::kOk);
  ASSERT_EQ(full->ChainLength(), 3u);
  std::vector<ImageBuffer*> fullFrames;
  for (ImageBuffer* f = full.get(); f; f = f->Next()) fullFrames.push_back(f);

  uint32_t lastFrames = 0;
  for (size_t n = 0; n <= file.size(); ++n) {
    RefPtr<ImageBuffer> image;
    RefPtr<ImageReader> reader;
    const Status open = OpenGif(file.substr(0, n), &reader);
    if (Failed(open)) {
      EXPECT_TRUE(open == status::kDamaged || open == status::kUnknownFormat) << n;
      EXPECT_EQ(lastFrames, 0u) << "a longer prefix failed after a shorter one worked: " << n;
      continue;
    }
    ASSERT_EQ(LoadGif(file.substr(0, n), &image), status::kOk) << n;
    const uint32_t frames = image->ChainLength();
    EXPECT_GE(frames, lastFrames) << n;
    lastFrames = frames;
    uint32_t k = 0;
    for (ImageBuffer* f = image.get(); f; f = f->Next(), ++k) {
      ImageBuffer* g = fullFrames[k];
      ASSERT_EQ(f->Width(), g->Width());
      ASSERT_EQ(f->Height(), g->Height());
      EXPECT_EQ(f->Frame().x, g->Frame().x);
      EXPECT_EQ(f->Frame().delay, g->Frame().delay);
      for (uint32_t y = 0; y < f->Height(); ++y) {
        for (uint32_t x = 0; x < f->Width(); ++x) {
          const uint32_t p = PixelAt(f, x, y);
          if (p >> 24) {
            ASSERT_EQ(p, PixelAt(g, x, y)) << n << " frame " << k << " " << x << "," << y;
          }
        }
      }
    }
  }
  EXPECT_EQ(lastFrames, 3u);
}

TEST(GifDecode, ThousandsOfTinyFramesStopAtTheFrameLimit) {
  GifWriter w(1, 1, kFour);
  w.Loop(0);
  const uint32_t count = kGifMaxFrames + 500;
  for (uint32_t i = 0; i < count; ++i) w.Control(0, 1).Image(Solid(1, 1, static_cast<uint8_t>(i & 3)));
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(w.Finish(), &image, true), status::kOk);
  ASSERT_EQ(image->ChainLength(), kGifMaxFrames);
  uint32_t i = 0;
  for (ImageBuffer* f = image.get(); f; f = f->Next(), ++i) {
    ASSERT_EQ(f->Row(0)[0], i & 3) << i;
    ASSERT_EQ(f->Frame().delay, 10);
    ASSERT_EQ(f->Frame().loop, 1);
  }
}

TEST(GifDecode, LargeFramesStopAtTheByteBudget) {
  // 4000 x 4000 frames of 400 bytes of data each: as few as such a frame may have.
  GifWriter w(4000, 4000, kFour);
  const std::string frame = std::string("\x2C\0\0\0\0\xA0\x0F\xA0\x0F\0\x02\xC8", 12) +
                            std::string(200, '\0') + '\xC8' + std::string(200, '\0') + '\0';
  for (int i = 0; i < 200; ++i) w.Raw(frame);
  RefPtr<ImageReader> r;
  ASSERT_EQ(OpenGif(w.Finish(), &r), status::kOk);
  const size_t frames = Chain(r.get()).size();
  EXPECT_GT(frames, 10u);
  EXPECT_LE(frames * uint64_t{4000} * 4000, kGifMaxChainBytes);
}

TEST(GifDecode, CancelledBeforeTheRowsMove) {
  RefPtr<ImageReader> r;
  ASSERT_EQ(OpenGif(GifWriter(8, 8, kFour).Image(Pattern(8, 8, 4)).Finish(), &r), status::kOk);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(MakeTargetBuffer(r.get(), &image, false, false), status::kOk);
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(r->DecodeInto(image.get(), true, nullptr, &cancel), status::kCancelled);
}

}  // namespace
}  // namespace vt
