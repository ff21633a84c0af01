// The GIF reader on files built here block by block (screen and tables,
// graphic control, backgrounds, looping, comments, XMP, interlacing, data cut
// short, the limits on frames) and the LZW codec on its own. Real files are
// checked against their suites' frames in the corpus table.
#include <bit>
#include <random>

#include "formats/gif/gif_reader.h"
#include "formats/lzw/lzw.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::Le;

const std::vector<uint32_t> kFour = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

std::string Table(std::vector<uint32_t> t, uint8_t* code) {
  *code = 0;
  while ((2u << *code) < t.size()) ++*code;
  t.resize(size_t{2} << *code, 0);
  std::string s;
  for (uint32_t c : t) s += test::Be(c, 3);
  return s;
}

struct Image {
  uint32_t x = 0, y = 0, width = 1, height = 1;
  std::vector<uint8_t> pixels;  // indices, rows top to bottom
  std::vector<uint32_t> local;
  bool interlaced = false;
  int codeSize = 2;
};

Image Solid(uint32_t w, uint32_t h, uint8_t index) {
  Image im;
  im.width = w;
  im.height = h;
  im.pixels.assign(size_t{w} * h, index);
  return im;
}

Image Pattern(uint32_t w, uint32_t h, uint32_t colours, uint32_t seed = 1) {
  Image im = Solid(w, h, 0);
  const std::vector<uint8_t> r = test::RandomBytes(im.pixels.size(), seed);
  for (size_t i = 0; i < r.size(); ++i) im.pixels[i] = static_cast<uint8_t>(r[i] % colours);
  while ((1u << im.codeSize) < colours) ++im.codeSize;
  return im;
}

// Builds a file block by block.
class Gif {
 public:
  Gif(uint32_t w, uint32_t h, const std::vector<uint32_t>& global = kFour, uint8_t background = 0,
      uint8_t resolution = 7) {
    uint8_t code = 0;
    const std::string table = global.empty() ? "" : Table(global, &code);
    s_ = "GIF89a" + Le(w, 2) + Le(h, 2) +
         static_cast<char>((global.empty() ? 0 : 0x80 | code) | (resolution & 7) << 4) +
         static_cast<char>(background) + '\0' + table;
  }
  // flags: disposal << 2 | user input << 1 | transparent
  Gif& Control(uint8_t flags, uint16_t delay, uint8_t transparent = 0) {
    return Raw("\x21\xF9\x04" + std::string(1, char(flags)) + Le(delay, 2) + char(transparent) +
               '\0');
  }
  Gif& Blocks(const std::string& head, const std::vector<std::string>& blocks) {
    s_ += head;
    for (const std::string& b : blocks) s_ += static_cast<char>(b.size()) + b;
    return Raw(std::string(1, '\0'));
  }
  Gif& Comment(const std::vector<std::string>& blocks) { return Blocks("\x21\xFE", blocks); }
  Gif& Loop(uint16_t repeats) {
    return Blocks("\x21\xFF\x0BNETSCAPE2.0", {"\x01" + Le(repeats, 2)});
  }
  Gif& Add(const Image& im) {
    uint8_t code = 0;
    const std::string local = im.local.empty() ? "" : Table(im.local, &code);
    s_ += '\x2C' + Le(im.x, 2) + Le(im.y, 2) + Le(im.width, 2) + Le(im.height, 2) +
          static_cast<char>((im.interlaced ? 0x40 : 0) | (local.empty() ? 0 : 0x80 | code)) + local;
    std::vector<uint8_t> rows = im.pixels;
    if (im.interlaced) {
      rows.clear();
      for (auto [start, step] : {std::pair{0u, 8u}, {4u, 8u}, {2u, 4u}, {1u, 2u}})
        for (uint32_t y = start; y < im.height; y += step)
          rows.insert(rows.end(), im.pixels.begin() + size_t{y} * im.width,
                      im.pixels.begin() + size_t{y + 1} * im.width);
    }
    std::vector<uint8_t> lzw;
    LzwEncode(&lzw, rows, im.width, im.height, im.width, im.codeSize);
    return Raw(std::string(lzw.begin(), lzw.end()));
  }
  Gif& Raw(const std::string& bytes) {
    s_ += bytes;
    return *this;
  }
  std::string Finish() const { return s_ + ";"; }
  const std::string& Bytes() const { return s_; }

 private:
  std::string s_;
};

test::Loaded Load(const std::string& bytes, bool display = false) {
  return test::Load(bytes, u"t.gif", {.allFrames = true, .display = display});
}

std::vector<ImageReader*> Chain(ImageReader* first) {
  std::vector<ImageReader*> v;
  for (ImageReader* r = first; r; r = r->NextReader()) v.push_back(r);
  return v;
}

std::vector<uint8_t> Indices(ImageBuffer* b) {
  std::vector<uint8_t> v;
  for (uint32_t y = 0; y < b->Height(); ++y) v.insert(v.end(), b->Row(y), b->Row(y) + b->Width());
  return v;
}

std::string Text(ImageReader* r, PropertyId id) {
  const std::u16string* t = r->Properties().Get(id);
  return t ? test::U8(*t) : "";
}

TEST(GifReader, RefusesDamagedFiles) {
  auto probe = [](const std::string& s) { return ProbeGif(*MakeMemorySource(u"x.gif", s)); };
  EXPECT_EQ(probe("GIF89a" + std::string(8, '\0')), status::kOk);
  EXPECT_EQ(probe("GIF00z" + std::string(8, '\0')), status::kOk);  // version not checked
  EXPECT_EQ(probe("GIF89a" + std::string(7, '\0')), status::kUnknownFormat);
  EXPECT_EQ(probe("GIX89a" + std::string(8, '\0')), status::kUnknownFormat);
  const std::string one = Gif(1, 1).Add(Solid(1, 1, 1)).Finish();
  const struct {
    const char* what;
    std::string bytes;
    Status status;
  } kCases[] = {
      {"no image", Gif(1, 1).Finish(), status::kDamaged},
      {"no table, no image", Gif(1, 1, {}).Raw(std::string(1, '\0')).Bytes(), status::kDamaged},
      {"cut in the screen", "GIF89a\x01", status::kDamaged},
      {"global table cut", one.substr(0, 20), status::kDamaged},
      {"unknown block first", Gif(1, 1).Raw("\x42").Add(Solid(1, 1, 1)).Finish(), status::kDamaged},
      {"no area", Gif(0, 0).Add(Solid(0, 0, 1)).Finish(), status::kDamaged},
      {"beyond the pixel limit",
       Gif(65535, 65535)
           .Raw(std::string("\x2C\0\0\0\0\xFF\xFF\xFF\xFF\0\x02\x01\x05\0;", 15))
           .Bytes(),
       status::kDamaged},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(test::OpenWith(CreateGifReader, c.bytes), c.status) << c.what;
  // After an image an unknown block ends the file.
  test::Loaded l = Load(Gif(1, 1).Add(Solid(1, 1, 1)).Raw("\x42").Add(Solid(1, 1, 2)).Finish());
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.image->ChainLength(), 1u);
}

TEST(GifReader, ScreenFramesAndDepth) {
  Image second = Solid(3, 2, 5);
  second.x = 7;
  second.y = 9;
  second.local.assign(16, 0x123456);
  second.codeSize = 4;
  Image first = Solid(4, 5, 1);
  first.x = 2;
  first.y = 3;
  test::Loaded l = Load(Gif(20, 30, kFour, 0, 2).Add(first).Add(second).Finish());
  ASSERT_TRUE(l.Ok());
  const std::vector<ImageReader*> f = Chain(l.reader.get());
  ASSERT_EQ(f.size(), 2u);
  const struct {
    uint32_t width, height, minRows, depth, x, y;
  } kWant[] = {{4, 5, 6, 3, 2, 3}, {3, 2, 3, 4, 7, 9}};  // resolution 3 bits beats a 2-bit table
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(f[i]->Width(), kWant[i].width);
    EXPECT_EQ(f[i]->Height(), kWant[i].height);
    EXPECT_EQ(f[i]->MinRows(), kWant[i].minRows);
    EXPECT_EQ(f[i]->BitDepth(), kWant[i].depth);
    EXPECT_EQ(f[i]->Frame().x, kWant[i].x);
    EXPECT_EQ(f[i]->Frame().y, kWant[i].y);
    EXPECT_EQ(f[i]->Frame().canvasWidth, 20u);
    EXPECT_EQ(f[i]->OutputFormat(), PixelFormat::Indexed8);
  }
  EXPECT_EQ(Text(f[0], PropertyId::Dimensions), "3");
  EXPECT_EQ(Text(f[0], PropertyId::Compression), "LZW");
  // A descriptor of width 0 keeps the screen's width.
  std::string file = Gif(6, 4).Add(Solid(6, 1, 1)).Finish();
  file[13 + 12 + 5] = 0;
  EXPECT_EQ(Load(file).image->Width(), 6u);
}

TEST(GifReader, GraphicControlBackgroundLoopAndComments) {
  Gif w(2, 2);
  w.Control(0x00, 0).Add(Solid(2, 2, 1)).Control(0x00, 25).Add(Solid(2, 2, 1));
  w.Control(0x02, 25).Add(Solid(2, 2, 1));  // waits for the user: a page
  for (uint8_t d = 0; d < 8; ++d) w.Control(static_cast<uint8_t>(d << 2), 1).Add(Solid(2, 2, 1));
  w.Control(0x01, 3, 2).Add(Solid(2, 2, 2));  // transparent index 2
  w.Add(Solid(2, 2, 2));                      // the control was used up
  test::Loaded l = Load(w.Finish());
  ASSERT_TRUE(l.Ok());
  const std::vector<ImageReader*> f = Chain(l.reader.get());
  ASSERT_EQ(f.size(), 13u);
  const int32_t delays[13] = {0, 250, -1, 10, 10, 10, 10, 10, 10, 10, 10, 30, 0};
  const uint8_t disposals[13] = {0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < 13; ++i) {
    EXPECT_EQ(f[i]->Frame().delay, delays[i]) << i;
    EXPECT_EQ(f[i]->Frame().disposal, disposals[i]) << i;
    EXPECT_EQ(f[i]->Frame().blend, i == 11) << i;
    EXPECT_EQ(f[i]->Alpha(), i == 11 ? AlphaMode::Straight : AlphaMode::None) << i;
  }
  ImageBuffer* t = l.image.get();
  for (int i = 0; i < 11; ++i) t = t->Next();
  EXPECT_EQ(t->Palette()[t->Row(1)[1]], 0x000000FFu);  // blue, alpha 0
  EXPECT_EQ(test::U8(*l.image->Properties().Get(PropertyId::Page)), "1:2");
  EXPECT_EQ(test::U8(*t->Properties().Get(PropertyId::Page)), "2:2");

  // Background (blue, green, red, alpha) from the global table only.
  const struct {
    Gif gif;
    uint32_t background;
  } kBackgrounds[] = {
      {Gif(1, 1, kFour, 1), 0xFF00FF00u},
      {Gif(1, 1, {0xFF0000, 0x00FF00}, 3), 0},              // outside the table
      {Gif(1, 1, {}, 1), 0},                                // no global table
      {Gif(1, 1, kFour, 0).Control(1, 0, 3), 0},            // transparent first frame, index 0
      {Gif(1, 1, kFour, 2).Control(1, 0, 2), 0x000000FFu},  // the transparent index itself
  };
  for (const auto& b : kBackgrounds) {
    Image im = Solid(1, 1, 0);
    im.local = kFour;
    test::Loaded g = Load(Gif(b.gif).Add(im).Add(im).Finish());
    ASSERT_TRUE(g.Ok());
    EXPECT_EQ(g.reader->Frame().background, b.background);
    EXPECT_EQ(g.reader->NextReader()->Frame().background, b.background);  // carried to every frame
  }

  const struct {
    Gif gif;
    int loop;
  } kLoops[] = {
      {Gif(1, 1).Loop(0), 1},
      {Gif(1, 1).Loop(1), 0},
      {Gif(1, 1).Loop(5), 1},
      {Gif(1, 1), 0},
      {Gif(1, 1).Blocks("\x21\xFF\x0BNETSCAPE2.0", {std::string("\x02\0\x04\0\0", 5)}),
       0},  // buffering
  };
  for (const auto& c : kLoops)
    EXPECT_EQ(Load(Gif(c.gif).Add(Solid(1, 1, 0)).Finish()).image->Frame().loop, c.loop);
  // A looping block after the first image still applies to every frame.
  l = Load(Gif(1, 1).Add(Solid(1, 1, 0)).Loop(0).Add(Solid(1, 1, 0)).Finish());
  EXPECT_EQ(l.image->Frame().loop, 1);
  EXPECT_EQ(l.image->Next()->Frame().loop, 1);

  const struct {
    std::vector<std::vector<std::string>> comments;
    std::string text;
  } kComments[] = {
      {{{"Hel", "lo ", "w\xF6rld  "}}, "Hello w\u00F6rld"},  // Latin-1, trailing blanks dropped
      {{{"first"}, {"second"}}, "first"},
      {{{}, {"later"}}, "later"},  // an empty one leaves the slot
      {{{std::string(1, '\0')}}, ""},
      {{{"ab", std::string("c\0d", 3)}}, "abc"},
      {{std::vector<std::string>(40, std::string(255, 'x'))}, std::string(40 * 255, 'x')},
  };
  for (const auto& c : kComments) {
    Gif g(1, 1);
    for (const auto& blocks : c.comments) g.Comment(blocks);
    EXPECT_EQ(Text(Load(g.Add(Solid(1, 1, 0)).Finish()).reader.get(), PropertyId::Comment), c.text);
  }
}

TEST(GifReader, XmpPacketStoredRaw) {
  const std::string packet =
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta "
      "xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' "
      "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt>"
      "<rdf:li xml:lang='x-default'>Harbour " +
      std::string(300, '-') +
      "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
  std::string ramp(1, '\x01');
  for (int v = 255; v >= 0; --v) ramp.push_back(static_cast<char>(v));
  // The packet goes in as it is: the walk over "sub-blocks" ends on the ramp.
  test::Loaded l = Load(
      Gif(1, 1).Raw("\x21\xFF\x0BXMP DataXMP" + packet + ramp + '\0').Add(Solid(1, 1, 0)).Finish());
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(Text(l.reader.get(), PropertyId::Title), "Harbour " + std::string(300, '-'));
  EXPECT_EQ(l.image->ChainLength(), 1u);
}

TEST(GifReader, TablesInEffect) {
  // No table at all: an 8-bit grey ramp arrives as Gray8; at 1 bit of
  // resolution it stays indexed with the ramp as palette.
  Image ramp = Solid(16, 4, 0);
  ramp.codeSize = 8;
  for (size_t i = 0; i < ramp.pixels.size(); ++i) ramp.pixels[i] = static_cast<uint8_t>(i * 4);
  test::Loaded g = Load(Gif(16, 4, {}, 0, 7).Add(ramp).Finish());
  EXPECT_EQ(g.image->Format(), PixelFormat::Gray8);
  EXPECT_EQ(Indices(g.image.get()), ramp.pixels);
  g = Load(Gif(16, 4, {}, 0, 0).Add(ramp).Finish());
  ASSERT_EQ(g.image->Format(), PixelFormat::Indexed8);
  EXPECT_EQ(g.Px(3, 1), 0xFF4C4C4Cu);
  // Without a global table a frame keeps the previous frame's local table;
  // with one, it goes back to the global table.
  Image a = Solid(2, 1, 3), b = Solid(2, 1, 1);
  a.local = {0x101010, 0x202020, 0x303030, 0x404040};
  b.local = {0xA0A0A0, 0xB0B0B0};
  test::Loaded l =
      Load(Gif(2, 1, {}).Add(a).Add(Solid(2, 1, 2)).Add(b).Add(Solid(2, 1, 1)).Finish());
  ASSERT_EQ(l.image->ChainLength(), 4u);
  const uint32_t want[4] = {0xFF404040, 0xFF303030, 0xFFB0B0B0, 0xFFB0B0B0};
  int i = 0;
  for (ImageBuffer* f = l.image.get(); f; f = f->Next())
    EXPECT_EQ(f->Palette()[f->Row(0)[0]], want[i++]);
  l = Load(Gif(2, 1).Add(a).Add(Solid(2, 1, 2)).Finish());
  EXPECT_EQ(l.image->Next()->Palette()[2], 0xFF0000FFu);
}

TEST(GifReader, InterlacedRowsForEveryPassPattern) {
  for (uint32_t h : {1u, 2u, 3u, 4u, 5u, 8u, 9u, 17u, 33u}) {
    Image plain = Pattern(7, h, 4, h), laced = plain;
    laced.interlaced = true;
    for (bool display : {false, true})
      EXPECT_EQ(Indices(Load(Gif(7, h).Add(laced).Finish(), display).image.get()), plain.pixels)
          << h;
  }
}

TEST(GifReader, DataCutShortFillWithTheFirstUnusedOrTransparentIndex) {
  Image im = Pattern(64, 64, 4);
  const std::string whole = Gif(64, 64).Add(im).Finish();
  const size_t data = 13 + 12 + 10;
  std::string cut = whole.substr(0, data + 2 + 40) + std::string(1, '\0') + ";";
  cut[data + 1] = 40;  // the first sub-block shortened to 40 bytes, then the end
  test::Loaded l = Load(cut);
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  const std::vector<uint8_t> got = Indices(l.image.get());
  size_t decoded = 0;
  while (decoded < got.size() && got[decoded] == im.pixels[decoded]) ++decoded;
  EXPECT_GT(decoded, 40u);
  for (size_t i = decoded; i < got.size(); ++i) ASSERT_EQ(got[i], 4) << i;
  EXPECT_EQ(l.image->Palette()[4] >> 24, 0u);
  EXPECT_EQ(Indices(Load(Gif(64, 64).Control(1, 0, 1).Bytes() + cut.substr(25)).image.get()).back(),
            1);
  // A full 256-entry table without transparency leaves index 0 and no alpha.
  Image big = im;
  big.codeSize = 8;
  std::string file = Gif(64, 64, std::vector<uint32_t>(256, 0x777777)).Add(big).Bytes();
  l = Load(file.substr(0, file.size() - 200));
  EXPECT_EQ(l.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(Indices(l.image.get()).back(), 0);
}

TEST(GifReader, LimitsOnFramesAndBytes) {
  Gif w(1, 1);
  w.Loop(0);
  for (uint32_t i = 0; i < kGifMaxFrames + 500; ++i)
    w.Control(0, 1).Add(Solid(1, 1, static_cast<uint8_t>(i & 3)));
  test::Loaded l = Load(w.Finish(), true);
  ASSERT_TRUE(l.Ok());
  ASSERT_EQ(l.image->ChainLength(), kGifMaxFrames);
  uint32_t i = 0;
  for (ImageBuffer* f = l.image.get(); f; f = f->Next(), ++i) ASSERT_EQ(f->Row(0)[0], i & 3) << i;
  // 4000 x 4000 frames of 400 bytes of data each: as few as such a frame may have.
  Gif big(4000, 4000);
  const std::string frame = std::string("\x2C\0\0\0\0\xA0\x0F\xA0\x0F\0\x02\xC8", 12) +
                            std::string(200, '\0') + '\xC8' + std::string(200, '\0') + '\0';
  for (int k = 0; k < 200; ++k) big.Raw(frame);
  RefPtr<ImageReader> r;
  ASSERT_EQ(test::Readers().OpenReader(MakeMemorySource(u"t.gif", big.Finish()).get(), &r),
            status::kOk);
  EXPECT_GT(Chain(r.get()).size(), 10u);
  EXPECT_LE(Chain(r.get()).size() * uint64_t{4000} * 4000, kGifMaxChainBytes);
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& coded, size_t size,
                            LzwStop* stop = nullptr) {
  std::vector<uint8_t> out(size);
  const LzwDecodeResult r = LzwDecode(out, coded);
  if (stop) *stop = r.stop;
  out.resize(r.written);
  return out;
}

// The codec alone (the GIF suites check the decoder on files others wrote):
// round trips at every minimum code size, across table resets and of long
// runs; framing; the stride; and every way a stream can stop.
TEST(LzwCodec, RoundTripsAndStops) {
  std::mt19937 rng(5);
  std::vector<uint8_t> runs;
  while (runs.size() < 300000) runs.insert(runs.end(), rng() % 40 + 1, uint8_t(rng() % 256));
  std::vector<std::pair<std::vector<uint8_t>, int>> inputs = {{std::vector<uint8_t>(100000, 7), 8},
                                                              {runs, 8}};
  for (int minimum = 2; minimum <= 8; ++minimum)
    for (size_t size : {1u, 3u, 255u, 256u, 4093u, 70000u}) {
      std::vector<uint8_t> in = test::RandomBytes(size, static_cast<uint32_t>(size * 31 + minimum));
      for (uint8_t& b : in) b &= static_cast<uint8_t>((1u << minimum) - 1);
      inputs.emplace_back(in, minimum);
    }
  for (const auto& [in, minimum] : inputs) {
    const std::vector<uint8_t> coded = LzwEncodeBytes(in, minimum);
    LzwStop stop;
    ASSERT_EQ(Decode(coded, in.size(), &stop), in) << in.size() << " " << minimum;
    EXPECT_EQ(stop, LzwStop::kEndCode);
    size_t pos = 1;
    while (pos < coded.size() && coded[pos] != 0) pos += 1 + coded[pos];
    EXPECT_EQ(pos + 1, coded.size()) << "a zero block must end the stream exactly";
  }
  EXPECT_LT(LzwEncodeBytes(inputs[0].first, 8).size(), 1000u);
  // 9-bit clear (256) and end (257) codes: 18 bits in 3 bytes, one block.
  EXPECT_EQ(LzwEncodeBytes({}, 8), (std::vector<uint8_t>{8, 3, 0x00, 0x03, 0x02, 0}));
  const std::vector<uint8_t> odd = {0, 1,    2,
                                    3, 0xFF, 0x10};  // minimum clamped to 2..8, pixels masked
  EXPECT_EQ(Decode(LzwEncodeBytes(odd, 1), 6), (std::vector<uint8_t>{0, 1, 2, 3, 3, 0}));
  EXPECT_EQ(LzwEncodeBytes(odd, 12)[0], 8);
  // Rows follow the stride; a plane one byte short, or a stride below the
  // width, writes nothing.
  std::vector<uint8_t> plane = test::RandomBytes(9 * 3 + 5, 3), coded, none;
  const size_t n = LzwEncode(&coded, plane, 5, 4, 9, 8);
  EXPECT_EQ(n, coded.size());
  const std::vector<uint8_t> rows = Decode(coded, 20);
  for (uint32_t y = 0; y < 4; ++y)
    EXPECT_TRUE(std::equal(rows.begin() + y * 5, rows.begin() + y * 5 + 5, plane.begin() + y * 9));
  plane.pop_back();
  EXPECT_EQ(LzwEncode(&none, plane, 5, 4, 9, 8) + LzwEncode(&none, plane, 5, 4, 4, 8) + none.size(),
            0u);

  // The decoder never writes past its output, stops at the end of the data
  // with a prefix, reads blocks of any length, and names why it stopped.
  std::vector<uint8_t> in = test::RandomBytes(5000, 9);
  in.insert(in.end(), 3000, 42);
  const std::vector<uint8_t> stream = LzwEncodeBytes(in, 8);
  for (size_t size : {0u, 1u, 100u, 4999u, 7999u}) {
    std::vector<uint8_t> out(size + 16, 0xEE);
    const LzwDecodeResult r = LzwDecode(std::span(out).first(size), stream);
    EXPECT_EQ(r.stop, LzwStop::kOutputFull);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + size, in.begin()) && r.written == size);
    EXPECT_EQ(std::count(out.begin() + size, out.end(), 0xEE), 16) << "wrote past " << size;
  }
  for (size_t cut = 0; cut + 2 < stream.size(); cut += 37) {
    const std::vector<uint8_t> got = Decode({stream.begin(), stream.begin() + cut}, in.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), in.begin()) && got.size() < in.size()) << cut;
  }
  std::vector<uint8_t> reblocked = {8}, early(stream.begin(), stream.begin() + 257);
  for (size_t pos = 1; stream[pos] != 0; pos += 1 + stream[pos])
    for (size_t k = 0; k < stream[pos]; ++k)
      reblocked.insert(reblocked.end(), {1, stream[pos + 1 + k]});
  reblocked.push_back(0);
  EXPECT_EQ(Decode(reblocked, in.size()), in);
  early.push_back(0);  // a zero block after the first ends the image there
  const std::vector<uint8_t> prefix = Decode(early, in.size());
  EXPECT_TRUE(prefix.size() > 200 && std::equal(prefix.begin(), prefix.end(), in.begin()));
  const std::pair<std::vector<uint8_t>, LzwStop> kStops[] = {
      {{}, LzwStop::kEndOfData},
      {early, LzwStop::kZeroBlock},
      {{2, 1, 0x3C, 0}, LzwStop::kBadCode},              // code 7 when 6 is next
      {{2, 1, 0x34, 0}, LzwStop::kBadCode},              // a string code first after a clear
      {{9, 3, 0x00, 0xB2, 0x04, 0}, LzwStop::kBadCode},  // a 10-bit literal no byte holds
      {{0, 1, 0, 0}, LzwStop::kBadMinimumCodeSize},
      {{12, 1, 0, 0}, LzwStop::kBadMinimumCodeSize},
  };
  for (const auto& [bytes, why] : kStops) {
    LzwStop stop;
    Decode(bytes, in.size(), &stop);
    EXPECT_EQ(stop, why) << bytes.size();
  }
  // A piece at a time, long strings cut at every place, gives the whole stream
  // and keeps its end.
  for (size_t piece : {1u, 2u, 3u, 7u, 64u, 4097u}) {
    LzwDecoder decoder(stream);
    std::vector<uint8_t> out(in.size() + 10, 0xEE);
    size_t got = 0;
    LzwDecodeResult r;
    do {
      const size_t room = std::min(piece, out.size() - got);
      r = decoder.Decode(std::span<uint8_t>(out.data() + got, room));
      ASSERT_LE(r.written, room);
      got += r.written;
    } while (r.stop == LzwStop::kOutputFull);
    EXPECT_EQ(r.stop, LzwStop::kEndCode) << piece;
    ASSERT_EQ(got, in.size()) << piece;
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << piece;
    EXPECT_EQ(decoder.Decode(out).written, 0u);
    EXPECT_EQ(decoder.Decode(out).stop, LzwStop::kEndCode);
  }
}

}  // namespace
}  // namespace vt
