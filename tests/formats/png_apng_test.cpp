// Animated PNG: the frame chain checked frame by frame after composing it on
// the canvas as the animation rules say (composition proper is the renderer's;
// the test does it to see what each frame's pixels and description amount to).
// References: Pillow's APNG test files compared with Pillow's own composition,
// and animations assembled by apngasm from frames whose pixels are known.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "png_test_util.h"
#include "support/test_support.h"

namespace vt {
namespace {

using Canvas = std::vector<uint8_t>;  // RGBA 8-bit

// Every frame of the chain composed on the canvas.
std::vector<Canvas> Compose(ImageBuffer* first) {
  const uint32_t cw = first->Frame().canvasWidth, ch = first->Frame().canvasHeight;
  Canvas canvas(size_t{cw} * ch * 4, 0);
  std::vector<Canvas> out;
  bool firstFrame = true;
  for (ImageBuffer* f = first; f; f = f->Next()) {
    const FrameDescription& d = f->Frame();
    uint32_t bits = 8;
    const std::vector<uint16_t> px = test::RgbaSamples(f, &bits);
    const Canvas saved = canvas;
    for (uint32_t y = 0; y < f->Height(); ++y) {
      for (uint32_t x = 0; x < f->Width(); ++x) {
        uint8_t* dst = &canvas[((size_t{d.y} + y) * cw + d.x + x) * 4];
        uint32_t src[4];
        for (int k = 0; k < 4; ++k) src[k] = px[(size_t{y} * f->Width() + x) * 4 + k] >> (bits - 8);
        if (d.blend == 0 || src[3] == 255) {
          for (int k = 0; k < 4; ++k) dst[k] = static_cast<uint8_t>(src[k]);
        } else if (src[3] != 0) {
          const uint32_t sa = src[3], da = dst[3] * (255 - sa) / 255, a = sa + da;
          for (int k = 0; k < 3; ++k) dst[k] = static_cast<uint8_t>((src[k] * sa + dst[k] * da + a / 2) / a);
          dst[3] = static_cast<uint8_t>(a);
        }
      }
    }
    out.push_back(canvas);
    if (d.disposal == 2 && !firstFrame) {
      canvas = saved;
    } else if (d.disposal != 0) {
      for (uint32_t y = 0; y < f->Height(); ++y)
        std::fill_n(&canvas[((size_t{d.y} + y) * cw + d.x) * 4], size_t{f->Width()} * 4, 0);
    }
    firstFrame = false;
  }
  return out;
}

bool RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  return pclose(p) == 0;
}

bool HavePillow() { return std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0; }

int MaxDifference(const Canvas& a, const Canvas& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); i += 4) {
    // Fully transparent pixels may differ in colour.
    if (a[i + 3] == 0 && b[i + 3] == 0) continue;
    for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(int(a[i + k]) - int(b[i + k])));
  }
  return worst;
}

TEST(PngApng, PillowTestFilesMatchPillowsComposition) {
  const std::string dir = test::CorpusPath("pillow/Tests/images/apng");
  if (!test::FileExists(dir)) GTEST_SKIP() << "Pillow's test images not in the shared corpus";
  if (!HavePillow()) GTEST_SKIP() << "Pillow not installed";
  const std::string script = std::string(VT_SOURCE_DIR) + "/tests/formats/png_apng_frames.py";
  size_t compared = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string path = e.path().string();
    SCOPED_TRACE(path);
    test::PngDecoded d = test::DecodePngFile(path, true);
    std::string text;
    if (!RunCommand("/usr/bin/python3 " + script + " '" + path + "'", &text)) continue;  // Pillow refuses
    if (Failed(d.status)) {
      ADD_FAILURE() << "we refuse what Pillow reads: " << std::hex << d.status;
      continue;
    }
    std::istringstream in(text);
    uint32_t w = 0, h = 0, n = 0;
    in >> w >> h >> n;
    EXPECT_EQ(d.image->Frame().canvasWidth, w);
    EXPECT_EQ(d.image->Frame().canvasHeight, h);
    const std::vector<Canvas> ours = Compose(d.image.get());
    // Where the files break the animation rules the two decoders may differ
    // in frame count; the frames both show must agree.
    const std::string name = e.path().filename().string();
    const bool broken = name.rfind("sequence_", 0) == 0 || name.rfind("syntax_", 0) == 0 ||
                        name.rfind("chunk_", 0) == 0;
    // Pillow blends partly transparent pixels by its paste rule (colour and
    // alpha both interpolated), not by alpha composition: in these files only
    // frames before any such blend can agree.
    const bool partialBlend = name == "blend_op_over_near_transparent.png" ||
                              name == "mode_16bit.png" || name == "mode_palette_1bit_alpha.png" ||
                              name == "mode_grayscale_alpha.png";
    // Pillow shows a default image that is not part of the animation as an
    // extra first frame; the animation alone is ours.
    const uint32_t skip = n == ours.size() + 1 ? 1 : 0;
    if (!broken) {
      EXPECT_EQ(ours.size() + skip, n);
    }
    std::string hex;
    for (uint32_t i = 0; i < skip; ++i) in >> hex;
    for (uint32_t i = 0; i + skip < n && i < ours.size(); ++i) {
      in >> hex;
      Canvas want(hex.size() / 2);
      for (size_t k = 0; k < want.size(); ++k)
        want[k] = static_cast<uint8_t>(std::stoi(hex.substr(2 * k, 2), nullptr, 16));
      ASSERT_EQ(want.size(), ours[i].size());
      // Pillow blends with its paste arithmetic, which rounds a little
      // differently from straight-alpha composition.
      if (!broken && (!partialBlend || i == 0)) {
        EXPECT_LE(MaxDifference(ours[i], want), 2) << "frame " << i;
      }
    }
    ++compared;
  }
  EXPECT_GT(compared, 40u);
}

TEST(PngApng, LoopFlagAndDelaysOfPillowFiles) {
  const std::string dir = test::CorpusPath("pillow/Tests/images/apng/");
  if (!test::FileExists(dir)) GTEST_SKIP() << "Pillow's test images not in the shared corpus";
  test::PngDecoded once = test::DecodePngFile(dir + "num_plays_1.png", true);
  ASSERT_EQ(once.status, status::kOk);
  EXPECT_EQ(once.image->Frame().loop, 0);
  test::PngDecoded plays = test::DecodePngFile(dir + "num_plays.png", true);
  ASSERT_EQ(plays.status, status::kOk);
  EXPECT_EQ(plays.image->Frame().loop, 1);
  test::PngDecoded zeroDen = test::DecodePngFile(dir + "delay_zero_denom.png", true);
  ASSERT_EQ(zeroDen.status, status::kOk);
  ASSERT_NE(zeroDen.image->Next(), nullptr);
  // 100/0 seconds: a zero denominator reads as 100.
  EXPECT_EQ(zeroDen.image->Next()->Frame().delay, 1000);
}

// Frames with a moving opaque square over a transparent and a coloured
// background, assembled by apngasm, which crops frames to what changed and
// chooses disposal and blending itself.
TEST(PngApng, ApngasmAnimationsComposeToTheirFrames) {
  if (std::system("command -v apngasm >/dev/null 2>&1") != 0) GTEST_SKIP() << "apngasm missing";
  if (!HavePillow()) GTEST_SKIP() << "Pillow not installed";
  test::TempDir dir;
  const std::string make =
      "/usr/bin/python3 -c \"\n"
      "from PIL import Image, ImageDraw\n"
      "for i in range(5):\n"
      "    im = Image.new('RGBA', (40, 30), (0, 0, 0, 0) if i % 2 else (20, 90, 200, 255))\n"
      "    d = ImageDraw.Draw(im)\n"
      "    d.rectangle((3 + 6 * i, 2 + 4 * i, 12 + 6 * i, 9 + 4 * i), fill=(250, 40 * i, 10, 255))\n"
      "    d.point((39 - i, 29), fill=(1, 2, 3, 255))\n"
      "    im.save('" + dir.Path() + "/frame%d.png' % i)\n\" && cd " + dir.Path() +
      " && apngasm out.png frame*.png 3 20 -l2 >/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  test::PngDecoded d = test::DecodePngFile(dir.Path() + "/out.png", true);
  ASSERT_EQ(d.status, status::kOk);
  const std::vector<Canvas> ours = Compose(d.image.get());
  ASSERT_EQ(ours.size(), 5u);
  EXPECT_EQ(d.image->Frame().loop, 1);
  bool cropped = false;
  for (ImageBuffer* f = d.image.get(); f; f = f->Next()) {
    EXPECT_EQ(f->Frame().delay, 150);
    if (f->Width() < 40 || f->Frame().x != 0 || f->Frame().y != 0) cropped = true;
  }
  EXPECT_TRUE(cropped) << "expected apngasm to write partial frames";
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    test::PngDecoded frame = test::DecodePngFile(dir.Path() + "/frame" + std::to_string(i) + ".png");
    ASSERT_EQ(frame.status, status::kOk);
    std::vector<uint16_t> want = test::RgbaSamples(frame.image.get());
    Canvas w(want.begin(), want.end());
    EXPECT_EQ(MaxDifference(ours[i], w), 0);
  }
}

}  // namespace
}  // namespace vt
