// GIF files written by other encoders (ImageMagick, gifsicle) at test time:
// interlacing, local tables, transparency, comments, delays and loop counts.
// Each test skips when its tool is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gif_test_util.h"
#include "support/test_support.h"

namespace vt {
namespace {

using gif_test::GifImage;
using gif_test::GifWriter;
using gif_test::LoadGif;
using gif_test::PixelAt;

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::vector<ImageBuffer*> Frames(ImageBuffer* first) {
  std::vector<ImageBuffer*> v;
  for (ImageBuffer* f = first; f; f = f->Next()) v.push_back(f);
  return v;
}

// A picture of at most 200 distinct colours, so that no encoder has to reduce it.
struct Picture {
  uint32_t width, height;
  std::vector<uint32_t> rgb;  // 0xRRGGBB
};

Picture MakePicture(uint32_t w, uint32_t h, uint32_t seed) {
  const std::vector<uint8_t> r = test::RandomBytes(size_t{w} * h + 600, seed);
  std::vector<uint32_t> colours(200);
  for (size_t i = 0; i < colours.size(); ++i)
    colours[i] = uint32_t{r[3 * i]} << 16 | uint32_t{r[3 * i + 1]} << 8 | r[3 * i + 2];
  Picture p{w, h, std::vector<uint32_t>(size_t{w} * h)};
  for (size_t i = 0; i < p.rgb.size(); ++i) p.rgb[i] = colours[r[600 + i] % colours.size()];
  return p;
}

std::string Ppm(const Picture& p) {
  std::string s = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
  for (uint32_t c : p.rgb) {
    s.push_back(static_cast<char>(c >> 16));
    s.push_back(static_cast<char>(c >> 8 & 0xFF));
    s.push_back(static_cast<char>(c & 0xFF));
  }
  return s;
}

void ExpectPicture(ImageBuffer* b, const Picture& p) {
  ASSERT_EQ(b->Width(), p.width);
  ASSERT_EQ(b->Height(), p.height);
  for (uint32_t y = 0; y < p.height; ++y)
    for (uint32_t x = 0; x < p.width; ++x)
      ASSERT_EQ(PixelAt(b, x, y), p.rgb[size_t{y} * p.width + x] | 0xFF000000u) << x << "," << y;
}

TEST(GifFromImageMagick, PlainAndInterlacedPictures) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  if (Shell("/usr/bin/python3 -c 'import PIL'") != 0) GTEST_SKIP() << "Pillow not installed";
  test::TempDir dir;
  for (uint32_t h : {1u, 2u, 7u, 23u, 64u}) {
    const Picture p = MakePicture(37, h, h);
    const std::string in = dir.Write("in.ppm", Ppm(p));
    for (const char* interlace : {"None", "GIF"}) {
      SCOPED_TRACE(std::to_string(h) + " " + interlace);
      const std::string out = dir.Path() + "/out.gif";
      ASSERT_EQ(Shell("convert " + in + " -interlace " + interlace + " " + out), 0);
      const std::string bytes = test::ReadFileBytes(out);
      RefPtr<ImageBuffer> image;
      ASSERT_EQ(LoadGif(bytes, &image), status::kOk);
      // The encoder may merge colours that lie close together; Pillow's
      // decoding of its file is the reference, the picture only a sanity check.
      const std::string rgb = dir.Path() + "/out.rgb";
      ASSERT_EQ(Shell("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                      "open(sys.argv[2], 'wb').write(Image.open(sys.argv[1]).convert('RGB')"
                      ".tobytes())\" " + out + " " + rgb),
                0);
      const std::string want = test::ReadFileBytes(rgb);
      ASSERT_EQ(want.size(), size_t{37} * h * 3);
      Picture ref = p;
      size_t same = 0;
      for (size_t i = 0; i < ref.rgb.size(); ++i) {
        const auto* c = reinterpret_cast<const uint8_t*>(want.data()) + 3 * i;
        const uint32_t v = uint32_t{c[0]} << 16 | uint32_t{c[1]} << 8 | c[2];
        same += v == p.rgb[i];
        ref.rgb[i] = v;
      }
      EXPECT_GT(same, ref.rgb.size() * 9 / 10);
      ExpectPicture(image.get(), ref);
    }
  }
}

TEST(GifFromImageMagick, AnimationWithTransparencyCommentAndLoops) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  test::TempDir dir;
  const Picture a = MakePicture(20, 10, 1), b = MakePicture(20, 10, 2);
  const std::string pa = dir.Write("a.ppm", Ppm(a)), pb = dir.Write("b.ppm", Ppm(b));
  const std::string out = dir.Path() + "/anim.gif";
  ASSERT_EQ(Shell("convert -delay 15 -loop 0 " + pa + " -delay 40 " + pb +
                " -set comment 'written by a tool' " + out),
            0);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(test::ReadFileBytes(out), &image), status::kOk);
  std::vector<ImageBuffer*> f = Frames(image.get());
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0]->Frame().delay, 150);
  EXPECT_EQ(f[1]->Frame().delay, 400);
  EXPECT_EQ(f[0]->Frame().loop, 1);
  const std::u16string* comment = f[0]->Properties().Get(PropertyId::Comment);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(test::U8(*comment), "written by a tool");
  ExpectPicture(f[0], a);
  ExpectPicture(f[1], b);

  // One loop: the flag stays clear. A transparent colour gives a transparent index.
  Picture t = a;
  for (uint32_t x = 0; x < 20; ++x) t.rgb[x] = 0x00FF00;
  const std::string pt = dir.Write("t.ppm", Ppm(t));
  ASSERT_EQ(Shell("convert " + pt + " -loop 1 -transparent '#00FF00' " + out), 0);
  ASSERT_EQ(LoadGif(test::ReadFileBytes(out), &image), status::kOk);
  EXPECT_EQ(image->Frame().loop, 0);
  EXPECT_EQ(image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(image->Frame().blend, 1);
  for (uint32_t x = 0; x < 20; ++x) EXPECT_EQ(PixelAt(image.get(), x, 0) >> 24, 0u) << x;
  EXPECT_EQ(PixelAt(image.get(), 3, 5), a.rgb[5 * 20 + 3] | 0xFF000000u);
}

TEST(GifFromGifsicle, RewrittenAnimation) {
  if (!HaveTool("gifsicle")) GTEST_SKIP() << "gifsicle not installed";
  // Three frames with local tables of their own and offsets, written here, then
  // rewritten by gifsicle with interlacing, new delays, disposal, a comment,
  // a loop count and a transparent colour.
  GifWriter w(16, 12, {0x000000, 0xFFFFFF});
  std::vector<GifImage> frames;
  for (uint32_t k = 0; k < 3; ++k) {
    GifImage im;
    im.x = k * 2;
    im.y = k;
    im.width = 10 + k;
    im.height = 9;
    im.localTable.resize(16);
    for (uint32_t i = 0; i < 16; ++i) im.localTable[i] = (i * 16 + k) << 16 | (255 - i * 8) << 8 | k * 50;
    const std::vector<uint8_t> r = test::RandomBytes(size_t{im.width} * im.height, 10 + k);
    for (uint8_t v : r) im.pixels.push_back(v % 16);
    im.minimumCodeSize = 4;
    w.Control(0, 5).Image(im);
    frames.push_back(im);
  }
  test::TempDir dir;
  const std::string in = dir.Write("in.gif", w.Finish());
  const std::string out = dir.Path() + "/out.gif";
  ASSERT_EQ(Shell("gifsicle --interlace --loopcount=3 --delay 7 --disposal background "
                "--comment 'from gifsicle' " + in + " -o " + out),
            0);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadGif(test::ReadFileBytes(out), &image), status::kOk);
  std::vector<ImageBuffer*> got = Frames(image.get());
  ASSERT_EQ(got.size(), 3u);
  const std::u16string* comment = got[0]->Properties().Get(PropertyId::Comment);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(test::U8(*comment), "from gifsicle");
  for (uint32_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    ImageBuffer* f = got[k];
    EXPECT_EQ(f->Frame().delay, 70);
    EXPECT_EQ(f->Frame().disposal, 1);
    EXPECT_EQ(f->Frame().loop, 1);
    EXPECT_EQ(f->Frame().canvasWidth, 16u);
    EXPECT_EQ(f->Frame().x, frames[k].x);
    EXPECT_EQ(f->Frame().y, frames[k].y);
    ASSERT_EQ(f->Width(), frames[k].width);
    ASSERT_EQ(f->Height(), frames[k].height);
    for (uint32_t y = 0; y < f->Height(); ++y)
      for (uint32_t x = 0; x < f->Width(); ++x)
        ASSERT_EQ(PixelAt(f, x, y),
                  frames[k].localTable[frames[k].pixels[size_t{y} * f->Width() + x]] | 0xFF000000u)
            << x << "," << y;
  }

  // A transparent colour, and no loop block at all.
  const uint32_t clear = frames[0].localTable[frames[0].pixels[0]];
  char colour[16];
  std::snprintf(colour, sizeof colour, "'#%06X'", clear);
  ASSERT_EQ(Shell("gifsicle --no-loopcount --transparent " + std::string(colour) + " " + in +
                " '#0' -o " + out),
            0);
  ASSERT_EQ(LoadGif(test::ReadFileBytes(out), &image), status::kOk);
  ASSERT_EQ(image->ChainLength(), 1u);
  EXPECT_EQ(image->Frame().loop, 0);
  EXPECT_EQ(image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(PixelAt(image.get(), 0, 0) >> 24, 0u);
}

}  // namespace
}  // namespace vt
