// The decoder against third-party GIF files and their expected pixels, and the
// encoder against an independent GIF reader (Pillow), when it is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/lzw/lzw.h"
#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

// Just enough of a GIF walk to find the first image and its colours; the real
// reader lives elsewhere.
struct FirstImage {
  uint32_t canvasWidth = 0, canvasHeight = 0;
  uint32_t x = 0, y = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<uint8_t> palette;  // RGB triplets
  int transparent = -1;
  std::span<const uint8_t> data;  // from the minimum-code-size byte to the end of the file
  int imageCount = 0;
};

std::optional<FirstImage> FindFirstImage(std::span<const uint8_t> file) {
  ByteCursor c(file);
  FirstImage img;
  if (!c.Skip(6)) return std::nullopt;
  img.canvasWidth = c.U16LE();
  img.canvasHeight = c.U16LE();
  const uint8_t packed = c.U8();
  c.Skip(2);
  if (packed & 0x80) {
    auto table = c.Bytes(3u << ((packed & 7) + 1));
    img.palette.assign(table.begin(), table.end());
  }
  auto skipBlocks = [&c] {
    for (uint8_t n; (n = c.U8()) != 0 && c.Ok();) c.Skip(n);
  };
  while (c.Ok() && !c.AtEnd()) {
    const uint8_t introducer = c.U8();
    if (introducer == 0x21) {
      const uint8_t label = c.U8();
      if (label == 0xF9 && c.PeekU8() == 4) {
        c.Skip(1);
        const uint8_t flags = c.U8();
        c.Skip(2);
        const uint8_t index = c.U8();
        if (flags & 1) img.transparent = index;
      }
      skipBlocks();
    } else if (introducer == 0x2C && img.imageCount++ > 0) {
      c.Skip(8);
      const uint8_t local = c.U8();
      if (local & 0x80) c.Skip(3u << ((local & 7) + 1));
      c.Skip(1);
      skipBlocks();
    } else if (introducer == 0x2C) {
      img.x = c.U16LE();
      img.y = c.U16LE();
      img.width = c.U16LE();
      img.height = c.U16LE();
      const uint8_t local = c.U8();
      img.interlaced = (local & 0x40) != 0;
      if (local & 0x80) {
        auto table = c.Bytes(3u << ((local & 7) + 1));
        img.palette.assign(table.begin(), table.end());
      }
      if (!c.Ok()) return std::nullopt;
      img.data = file.subspan(c.Position());
      c.Skip(1);
      skipBlocks();
    } else {
      break;
    }
  }
  if (img.imageCount == 0) return std::nullopt;
  return img;
}

std::string ConfValue(const std::string& conf, const std::string& key) {
  std::istringstream in(conf);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + " = ", 0) == 0) return line.substr(key.size() + 3);
  return {};
}

TEST(LzwCorpus, DecodesTheGifSuiteToItsExpectedPixels) {
  const std::string dir = test::CorpusPath("gif/pygif/test-suite");
  if (!test::FileExists(dir)) GTEST_SKIP() << "corpus not present";
  int checked = 0, pixelsCompared = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".conf") continue;
    const std::string conf = test::ReadFileBytes(entry.path().string());
    // Single-frame files whose one image covers the whole canvas: their expected
    // picture is the decoded indices through the palette.
    if (ConfValue(conf, "frames") != "frame0") continue;
    const std::string gifBytes = test::ReadFileBytes(dir + "/" + ConfValue(conf, "input"));
    const std::string rgba = test::ReadFileBytes(dir + "/" + ConfValue(conf, "pixels"));
    auto file = std::span(reinterpret_cast<const uint8_t*>(gifBytes.data()), gifBytes.size());
    auto img = FindFirstImage(file);
    if (!img || img->imageCount != 1 || img->interlaced || img->x || img->y || img->width != img->canvasWidth ||
        img->height != img->canvasHeight || rgba.size() != size_t{img->width} * img->height * 4)
      continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::vector<uint8_t> indices(size_t{img->width} * img->height);
    LzwDecodeResult r = LzwDecode(indices, img->data);
    EXPECT_NE(r.stop, LzwStop::kBadMinimumCodeSize);
    for (size_t i = 0; i < r.written; ++i) {
      const uint8_t* want = reinterpret_cast<const uint8_t*>(rgba.data()) + i * 4;
      const size_t index = indices[i];
      if (static_cast<int>(index) == img->transparent) {
        EXPECT_EQ(want[3], 0) << "pixel " << i;
      } else if (index * 3 + 2 < img->palette.size()) {
        const uint8_t* have = img->palette.data() + index * 3;
        ASSERT_TRUE(have[0] == want[0] && have[1] == want[1] && have[2] == want[2] && want[3] == 255)
            << "pixel " << i << " index " << index;
      } else {
        continue;
      }
      ++pixelsCompared;
    }
    ++checked;
  }
  // The suite holds well over a dozen such files, among them tables that reach
  // 4095 codes, clear codes at odd places and streams without an end code.
  EXPECT_GE(checked, 15);
  EXPECT_GE(pixelsCompared, 10000);
}

#ifndef _WIN32
std::string PythonWithPillow() {
  for (const char* py : {"/usr/bin/python3", "python3"}) {
    std::string cmd = std::string(py) + " -c 'import PIL' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) return py;
  }
  return {};
}

void Append16(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>(v >> 8));
}

TEST(LzwCorpus, PillowReadsWhatTheEncoderWrites) {
  const std::string python = PythonWithPillow();
  if (python.empty()) GTEST_SKIP() << "python3 with PIL not available";
  test::TempDir dir;
  int files = 0;
  for (int bits = 1; bits <= 8; ++bits) {
    for (auto [w, h] : {std::pair{1u, 1u}, {7u, 3u}, {64u, 64u}, {300u, 257u}}) {
      const int minimum = std::max(bits, 2);
      std::vector<uint8_t> pixels = test::RandomBytes(size_t{w} * h, bits * 1000 + w);
      // Half noise, half runs: both table growth and long strings.
      for (size_t i = pixels.size() / 2; i < pixels.size(); ++i) pixels[i] = uint8_t(i / 97);
      for (uint8_t& p : pixels) p &= static_cast<uint8_t>((1u << bits) - 1);
      std::string gif = "GIF89a";
      Append16(&gif, w);
      Append16(&gif, h);
      gif.push_back(static_cast<char>(0xF0 | (bits - 1)));
      gif.append("\0\0", 2);
      for (int i = 0; i < (1 << bits); ++i) {
        gif.push_back(static_cast<char>(i));
        gif.push_back(static_cast<char>(255 - i));
        gif.push_back(static_cast<char>(i * 7));
      }
      gif.push_back(0x2C);
      Append16(&gif, 0);
      Append16(&gif, 0);
      Append16(&gif, w);
      Append16(&gif, h);
      gif.push_back(0);
      std::vector<uint8_t> coded;
      LzwEncode(&coded, pixels, w, h, w, minimum);
      gif.append(coded.begin(), coded.end());
      gif.push_back(0x3B);
      const std::string stem = "b" + std::to_string(bits) + "_" + std::to_string(w) + "x" +
                               std::to_string(h);
      dir.Write(stem + ".gif", gif);
      dir.Write(stem + ".raw", std::string(pixels.begin(), pixels.end()));
      ++files;
    }
  }
  const std::string script = std::string(VT_SOURCE_DIR) + "/tests/formats/lzw_pillow_check.py";
  const std::string cmd = python + " " + script + " " + dir.Path();
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  EXPECT_EQ(files, 32);
}
#endif

}  // namespace
}  // namespace vt
