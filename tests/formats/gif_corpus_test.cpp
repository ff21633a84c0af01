// Two public GIF suites through the reader and the pipeline, their frames laid
// on a canvas by the small compositor of gif_test_util.h and compared with the
// suites' expected frames.
//
// pygif: TESTS lists the cases; each .conf gives the size, the loop count, the
// comment and the expected frames as raw RGBA (canvas size, transparent where
// nothing was drawn). Its frames are what a player shows: images without a
// delay of their own are drawn together with the next image that has one.
// peterdn: every frame of every file as a PNG of the whole canvas.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gif_test_util.h"
#include "support/test_support.h"
#include "support_png.h"

namespace vt {
namespace {

using gif_test::Compositor;
using gif_test::LoadGif;

// Cases where this reader parts from the suite on purpose, with what it does.
struct Deviation {
  const char* name;
  Status status;  // of the load
  const char* why;
};
const Deviation kDeviations[] = {
    {"no-data", status::kDamaged, "a file without any image is damaged"},
    {"image-zero-height", status::kDamaged, "its only image's colour table runs past the end"},
    {"image-zero-size", status::kDamaged, "its only image's colour table runs past the end"},
    {"no-global-color-table", status::kOk, "without any table the indices show as greys"},
    {"invalid-colors", status::kOk, "indices above the table show opaque black"},
    {"invalid-code", status::kOk, "a code that names no entry ends the data: the rest is transparent"},
    {"overflow-codes", status::kOk, "image data that are damaged decode as far as they go"},
    {"overflow-codes-max", status::kOk, "image data that are damaged decode as far as they go"},
    {"plain-text", status::kOk, "plain-text blocks are not drawn; the image is shown"},
};

const Deviation* FindDeviation(const std::string& name) {
  for (const Deviation& d : kDeviations)
    if (name == d.name) return &d;
  return nullptr;
}

using Section = std::map<std::string, std::string>;

std::map<std::string, Section> ReadConf(const std::string& path) {
  std::map<std::string, Section> out;
  std::istringstream in(test::ReadFileBytes(path));
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos) {
      if (line.size() && line.back() == '=') out[section][line.substr(0, line.find(' '))] = "";
      continue;
    }
    out[section][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return out;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> v;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) v.push_back(item);
  return v;
}

// The .conf files are UTF-8.
std::u16string FromConf(const std::string& utf8) { return test::U16(utf8); }

std::vector<ImageBuffer*> Frames(ImageBuffer* first) {
  std::vector<ImageBuffer*> v;
  for (ImageBuffer* f = first; f; f = f->Next()) v.push_back(f);
  return v;
}

uint32_t Rgba(const uint8_t* p) {  // red, green, blue, alpha bytes to a BGRA word
  return uint32_t{p[2]} | uint32_t{p[1]} << 8 | uint32_t{p[0]} << 16 | uint32_t{p[3]} << 24;
}

// Equal where visible; any fully transparent pixel equals any other.
::testing::AssertionResult SameCanvas(const std::vector<uint32_t>& got,
                                      const std::vector<uint32_t>& want, uint32_t width) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "size differs";
  for (size_t i = 0; i < got.size(); ++i) {
    if ((got[i] >> 24) == 0 && (want[i] >> 24) == 0) continue;
    if (got[i] != want[i])
      return ::testing::AssertionFailure()
             << "pixel " << i % width << "," << i / width << ": " << std::hex << got[i]
             << " != " << want[i];
  }
  return ::testing::AssertionSuccess();
}

class PygifSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::CorpusPath("gif/pygif/test-suite/");
    if (!test::FileExists(dir_ + "TESTS")) GTEST_SKIP() << "pygif suite not present";
  }
  std::string dir_;
};

TEST_F(PygifSuite, EveryCaseDecodesAsExpected) {
  std::istringstream tests(test::ReadFileBytes(dir_ + "TESTS"));
  std::string name;
  int checked = 0, frames = 0;
  while (tests >> name) {
    SCOPED_TRACE(name);
    std::map<std::string, Section> conf = ReadConf(dir_ + name + ".conf");
    Section& config = conf["config"];
    const std::string bytes = test::ReadFileBytes(dir_ + config["input"]);
    ASSERT_FALSE(bytes.empty());
    RefPtr<ImageBuffer> image;
    const Status s = LoadGif(bytes, &image);
    ++checked;

    if (const Deviation* d = FindDeviation(name)) {
      EXPECT_EQ(s, d->status) << d->why;
      continue;
    }
    const std::vector<std::string> expected = Split(config["frames"]);
    if (expected.empty()) {
      EXPECT_TRUE(Failed(s)) << "the suite expects no image";
      continue;
    }
    ASSERT_EQ(s, status::kOk);
    const std::vector<ImageBuffer*> images = Frames(image.get());
    const uint32_t width = std::stoul(config["width"]), height = std::stoul(config["height"]);
    EXPECT_EQ(images[0]->Frame().canvasWidth, width);
    EXPECT_EQ(images[0]->Frame().canvasHeight, height);

    // Loop flag: set for "infinite" and for counts above one.
    const std::string loops = config["loop-count"];
    // A GIF87a animation has no looping block: the suite plays it in a loop, the
    // flag here stays clear.
    const bool loop =
        name != "gif87a-animation" && (loops == "infinite" || std::atoi(loops.c_str()) > 1);
    EXPECT_EQ(images[0]->Frame().loop, loop ? 1 : 0);

    if (config.count("comment")) {
      std::u16string want = FromConf(config["comment"]);
      want = want.substr(1, want.size() - 2);
      if (want == u"\\x00") want.clear();  // the text ends at its first zero
      const std::u16string* got = images[0]->Properties().Get(PropertyId::Comment);
      EXPECT_EQ(got ? *got : std::u16string(), want);
    }

    // Which images end a shown frame: those with a delay, and the last; when
    // the suite counts every image as a frame, each one.
    std::vector<size_t> ends;
    if (expected.size() == images.size()) {
      for (size_t i = 0; i < images.size(); ++i) ends.push_back(i);
    } else {
      for (size_t i = 0; i + 1 < images.size(); ++i)
        if (images[i]->Frame().delay > 0) ends.push_back(i);
      ends.push_back(images.size() - 1);
    }
    ASSERT_EQ(ends.size(), expected.size());

    Compositor canvas(width, height);
    size_t next = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
      SCOPED_TRACE(expected[k]);
      for (; next <= ends[k]; ++next) canvas.Draw(images[next]);
      Section& f = conf[expected[k]];
      if (f.count("delay")) {
        EXPECT_EQ(images[ends[k]]->Frame().delay, std::stoi(f["delay"]) * 10);
      }
      const std::string rgba = test::ReadFileBytes(dir_ + f["pixels"]);
      ASSERT_EQ(rgba.size(), size_t{width} * height * 4);
      std::vector<uint32_t> want(size_t{width} * height);
      for (size_t i = 0; i < want.size(); ++i)
        want[i] = Rgba(reinterpret_cast<const uint8_t*>(rgba.data()) + 4 * i);
      EXPECT_TRUE(SameCanvas(canvas.Shown(), want, width));
      ++frames;
    }
  }
  EXPECT_GE(checked, 80);
  EXPECT_GE(frames, 90);
}

TEST(PeterdnSuite, EveryFrameMatchesItsPng) {
  const std::string dir = test::CorpusPath("gif/peterdn/gifs/");
  if (!test::FileExists(dir + "static_transparent.gif")) GTEST_SKIP() << "peterdn suite not present";
  const char* const kFiles[] = {
      "animated_loop",
      "animated_loop_interlaced",
      "animated_loop_variable_delay",
      "animated_noloop",
      "animated_transparent_firstframerestoreprev_loop",
      "animated_transparent_frame_norestore_loop",
      "animated_transparent_frame_restorebackground_loop",
      "animated_transparent_frame_restoreprev_loop",
      "animated_transparent_loop",
      "animated_transparent_loop_frames_out_of_bounds",
      "animated_transparent_restoreprev_loop",
      "static_nontransparent",
      "static_transparent",
  };
  for (const char* name : kFiles) {
    SCOPED_TRACE(name);
    RefPtr<ImageBuffer> image;
    ASSERT_EQ(LoadGif(test::ReadFileBytes(dir + name + ".gif"), &image), status::kOk);
    const std::vector<ImageBuffer*> frames = Frames(image.get());
    const bool animated = std::string(name).rfind("animated", 0) == 0;
    ASSERT_EQ(frames.size(), animated ? 4u : 1u);
    EXPECT_EQ(frames[0]->Frame().loop, std::string(name).find("_loop") != std::string::npos);
    const uint32_t width = frames[0]->Frame().canvasWidth;
    const uint32_t height = frames[0]->Frame().canvasHeight;
    Compositor canvas(width, height);
    for (size_t k = 0; k < frames.size(); ++k) {
      SCOPED_TRACE(k);
      canvas.Draw(frames[k]);
      const std::string png = dir + "frames/" + name +
                              (animated ? "-" + std::to_string(k) : std::string()) + ".png";
      test::PngImage want;
      std::string error;
      ASSERT_TRUE(test::DecodePng(test::ReadFileBytes(png), &want, &error)) << error;
      ASSERT_EQ(want.width, width);
      ASSERT_EQ(want.height, height);
      std::vector<uint32_t> expected(size_t{width} * height);
      for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
          const uint16_t* p = want.Pixel(x, y);
          const uint8_t rgba[4] = {static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1]),
                                   static_cast<uint8_t>(p[2]), static_cast<uint8_t>(p[3])};
          expected[size_t{y} * width + x] = Rgba(rgba);
        }
      EXPECT_TRUE(SameCanvas(canvas.Shown(), expected, width));
    }
  }
}

}  // namespace
}  // namespace vt
