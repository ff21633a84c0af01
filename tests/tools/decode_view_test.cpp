// The decoder tool's --view: the image as the viewer shows it, checked from
// outside against what other decoders and tools make of the same files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tool_test_util.h"

namespace vt {
namespace {

using tool_test::Pam;
using tool_test::ParsePam;
using tool_test::Quote;
using tool_test::RunResult;
using tool_test::RunTool;

#ifndef _WIN32

// The shown image after `steps` frame steps, as red, green, blue, alpha words
// (0xAABBGGRR read as bytes R G B A); fully transparent pixels as 0.
struct Shown {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> rgba;
};
Shown View(const std::string& file, uint32_t steps, const std::string& out) {
  const RunResult r = RunTool("--view --frame " + std::to_string(steps) + " " + Quote(file) + " " + Quote(out));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  Pam pam;
  Shown s;
  if (r.exitCode != 0 || !ParsePam(test::ReadFileBytes(out), &pam)) {
    ADD_FAILURE() << "no PAM from " << file;
    return s;
  }
  s.width = pam.width, s.height = pam.height;
  const uint32_t shift = pam.maxval > 255 ? 8 : 0;
  for (size_t i = 0; i + pam.depth <= pam.samples.size(); i += pam.depth) {
    uint32_t c[4] = {0, 0, 0, 255};
    for (uint32_t k = 0; k < pam.depth; ++k) c[pam.depth < 3 ? (k == 0 ? 0 : 3) : k] = pam.samples[i + k] >> shift;
    if (pam.depth < 3) c[1] = c[2] = c[0];
    const uint32_t v = c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24;
    s.rgba.push_back(c[3] == 0 ? 0 : v);
  }
  return s;
}

uint64_t Fnv(const std::vector<uint32_t>& rgba) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint32_t v : rgba)
    for (int k = 0; k < 4; ++k) h = (h ^ (v >> (8 * k) & 0xFF)) * 0x100000001b3ull;
  return h;
}

// ---- GIF: pygif's expected frames -------------------------------------------------------

std::map<std::string, std::map<std::string, std::string>> ReadConf(const std::string& path) {
  std::map<std::string, std::map<std::string, std::string>> out;
  std::istringstream in(test::ReadFileBytes(path));
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else if (const size_t eq = line.find(" = "); eq != std::string::npos) {
      out[section][line.substr(0, eq)] = line.substr(eq + 3);
    }
  }
  return out;
}

std::vector<std::string> Words(const std::string& s, char separator) {
  std::vector<std::string> v;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, separator))
    if (!item.empty()) v.push_back(item);
  return v;
}

// The suite shows the animations on a transparent canvas; the viewer fills
// its canvas with the background colour the file names, so a pixel the
// suite leaves transparent may be that colour here.
TEST(DecodeView, GifAnimationsShowThePygifFrames) {
  const std::string dir = test::CorpusPath("gif/pygif/test-suite/");
  ASSERT_TRUE(test::FileExists(dir + "TESTS")) << "the pygif suite is part of the shared corpus";
  test::TempDir tmp;
  int animations = 0, frames = 0;
  for (const std::string& name : Words(test::ReadFileBytes(dir + "TESTS"), '\n')) {
    auto conf = ReadConf(dir + name + ".conf");
    const std::vector<std::string> expected = Words(conf["config"]["frames"], ',');
    if (expected.size() < 2) continue;
    SCOPED_TRACE(name);
    ++animations;
    const std::string gif = dir + conf["config"]["input"];
    // Which images end a shown frame: each one when the suite counts every
    // image, else those with a delay, and the last.
    const RunResult list = RunTool(Quote(gif));
    ASSERT_EQ(list.exitCode, 0) << list.output;
    std::vector<uint32_t> ends;
    const std::vector<std::string> lines = Words(list.stdoutOnly, '\n');
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines.size() == expected.size() || i + 1 == lines.size() || !tool_test::Contains(lines[i], " delay=0 "))
        ends.push_back(static_cast<uint32_t>(i));
    ASSERT_EQ(ends.size(), expected.size());
    const uint32_t width = std::stoul(conf["config"]["width"]), height = std::stoul(conf["config"]["height"]);
    const uint32_t background = std::stoul(conf["config"]["background"].substr(1), nullptr, 16);
    const uint32_t backgroundRgba =
        (background >> 16 & 0xFF) | (background & 0xFF00) | (background & 0xFF) << 16 | 0xFF000000u;
    for (size_t k = 0; k < expected.size(); ++k) {
      SCOPED_TRACE(expected[k]);
      const Shown shown = View(gif, ends[k], tmp.Path() + "/out.pam");
      ASSERT_EQ(shown.width, width);
      ASSERT_EQ(shown.height, height);
      const std::string want = test::ReadFileBytes(dir + conf[expected[k]]["pixels"]);
      ASSERT_EQ(want.size(), shown.rgba.size() * 4);
      for (size_t i = 0; i < shown.rgba.size(); ++i) {
        uint32_t w;
        std::memcpy(&w, want.data() + 4 * i, 4);
        if ((w >> 24) == 0) {
          EXPECT_TRUE(shown.rgba[i] == 0 || shown.rgba[i] == backgroundRgba) << "pixel " << i;
        } else {
          EXPECT_EQ(shown.rgba[i], w) << "pixel " << i;
        }
      }
      ++frames;
    }
  }
  EXPECT_GE(animations, 11);
  EXPECT_GE(frames, 44);
}

// ---- APNG: Pillow's dispose and blend cases -----------------------------------------------

struct ApngFrame {
  const char* file;
  uint32_t step, width, height;
  uint64_t hash;
};
const ApngFrame kApngFrames[] = {
#include "apng_view_hashes.inc"
};

TEST(DecodeView, ApngFramesMatchPillowsComposition) {
  const std::string dir = test::CorpusPath("pillow/Tests/images/apng/");
  ASSERT_TRUE(test::FileExists(dir + "dispose_op_previous.png")) << "Pillow's images are part of the shared corpus";
  test::TempDir tmp;
  for (const ApngFrame& f : kApngFrames) {
    const Shown shown = View(dir + f.file, f.step, tmp.Path() + "/out.pam");
    EXPECT_EQ(shown.width, f.width) << f.file;
    EXPECT_EQ(Fnv(shown.rgba), f.hash) << f.file << " frame " << f.step;
  }
  // Where Pillow pastes a partly transparent frame by its own rule, alpha
  // composition gives: half-covered blue or white over opaque black is half
  // the colour, opaque; near-transparent green over green stays green.
  struct Composed {
    const char* file;
    uint32_t step, colour;
  };
  for (const Composed& c : {Composed{"mode_16bit.png", 1, 0xFF800000u}, Composed{"mode_palette_1bit_alpha.png", 1, 0xFF800000u},
                            Composed{"mode_grayscale_alpha.png", 1, 0xFF808080u},
                            Composed{"blend_op_over_near_transparent.png", 127, 0xFF00FF00u}}) {
    const Shown shown = View(dir + c.file, c.step, tmp.Path() + "/out.pam");
    ASSERT_FALSE(shown.rgba.empty()) << c.file;
    for (size_t i = 0; i < shown.rgba.size(); ++i) ASSERT_EQ(shown.rgba[i], c.colour) << c.file << " pixel " << i;
  }
}

// ---- orientation: a photo under its eight EXIF orientations ----------------------------------

TEST(DecodeView, EveryExifOrientationShowsThePhotoAsImageMagickTurnsIt) {
  const std::string photo = test::CorpusPath("jpeg/libjpeg-turbo/testimages/testorig.jpg");
  ASSERT_TRUE(test::FileExists(photo));
  ASSERT_EQ(std::system("/usr/bin/exiftool -ver >/dev/null 2>&1"), 0) << "exiftool writes the orientation tags";
  ASSERT_EQ(std::system("command -v convert >/dev/null 2>&1"), 0) << "ImageMagick turns the reference";
  test::TempDir tmp;
  static const char* const kNames[] = {"TopLeft",  "TopRight", "BottomRight", "BottomLeft",
                                       "LeftTop",  "RightTop", "RightBottom", "LeftBottom"};
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(testing::Message() << "orientation " << n);
    const std::string jpg = tmp.Path() + "/o" + std::to_string(n) + ".jpg";
    ASSERT_EQ(std::system(("/usr/bin/exiftool -q -n -Orientation=" + std::to_string(n) + " -o " + Quote(jpg) + " " +
                           Quote(photo) + " >/dev/null 2>&1")
                              .c_str()),
              0);
    // The decoded pixels as they are, turned by ImageMagick for the tag's value...
    const std::string raw = tmp.Path() + "/raw.pam", ref = tmp.Path() + "/ref.pam";
    ASSERT_EQ(RunTool(Quote(jpg) + " " + Quote(raw)).exitCode, 0);
    ASSERT_EQ(std::system(("convert " + Quote(raw) + " -orient " + kNames[n - 1] + " -auto-orient " + Quote(ref) +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    // ...and as the view shows the file.
    const Shown shown = View(jpg, 0, tmp.Path() + "/view.pam");
    Pam want;
    ASSERT_TRUE(ParsePam(test::ReadFileBytes(ref), &want));
    ASSERT_EQ(shown.width, want.width);
    ASSERT_EQ(shown.height, want.height);
    ASSERT_EQ(want.depth, 3u);
    for (size_t i = 0; i < shown.rgba.size(); ++i) {
      const uint32_t w = want.samples[3 * i] | want.samples[3 * i + 1] << 8 | want.samples[3 * i + 2] << 16 | 0xFF000000u;
      ASSERT_EQ(shown.rgba[i], w) << "pixel " << i;
    }
  }
}

// ---- the adjustment file beside the image --------------------------------------------------

TEST(DecodeView, TheAdjustmentFileBesideTheImageIsAppliedAndAMalformedOneIgnored) {
  test::TempDir tmp;
  const std::string bmp = tmp.Write("p.bmp", test::ReadFileBytes(test::CorpusPath("bmpsuite/g/rgb24.bmp")));
  const Shown plain = View(bmp, 0, tmp.Path() + "/plain.pam");
  ASSERT_FALSE(plain.rgba.empty());
  // Inversion alone: the 28-byte file.
  const std::string invert("RIFF\x14\0\0\0VTIALADJ\x08\0\0\0CINV\0\0\x80\x3f", 28);
  tmp.Write("p.bmp.vta", invert);
  const Shown inverted = View(bmp, 0, tmp.Path() + "/inverted.pam");
  ASSERT_EQ(inverted.rgba.size(), plain.rgba.size());
  for (size_t i = 0; i < plain.rgba.size(); ++i) ASSERT_EQ(inverted.rgba[i], plain.rgba[i] ^ 0x00FFFFFFu) << i;
  // A quarter turn to the left ("IROT" 1) turns the width into the height.
  tmp.Write("p.bmp.vta", std::string("RIFF\x14\0\0\0VTIALADJ\x08\0\0\0IROT\0\0\x80\x3f", 28));
  const Shown turned = View(bmp, 0, tmp.Path() + "/turned.pam");
  EXPECT_EQ(turned.width, plain.height);
  EXPECT_EQ(turned.rgba[0], plain.rgba[plain.width - 1]);
  // Another form type, a cut header: the image shows as it is.
  for (const std::string& bad : {std::string("RIFF\x14\0\0\0VTIXLADJ\x08\0\0\0CINV\0\0\x80\x3f", 28),
                                 std::string("RIFF\x14\0\0\0VTIALA", 14)}) {
    tmp.Write("p.bmp.vta", bad);
    const Shown shown = View(bmp, 0, tmp.Path() + "/bad.pam");
    EXPECT_EQ(shown.rgba, plain.rgba);
  }
}

#endif

}  // namespace
}  // namespace vt
