// The decoder tool's PAM writer: each pixel format's layout, alpha handling,
// and the failures it reports.
#include "decode/pam_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "support/test_support.h"

namespace vt {
namespace {

struct Pam {
  uint32_t width = 0, height = 0, depth = 0, maxval = 0;
  std::string tupleType;
  std::vector<uint32_t> samples;
};

// Reads back what WritePam wrote, refusing any header but the exact shape.
bool ParsePam(const std::string& bytes, Pam* pam) {
  const size_t end = bytes.find("ENDHDR\n");
  if (bytes.rfind("P7\n", 0) != 0 || end == std::string::npos) return false;
  std::istringstream header(bytes.substr(3, end - 3));
  for (std::string key; header >> key;) {
    if (key == "WIDTH")
      header >> pam->width;
    else if (key == "HEIGHT")
      header >> pam->height;
    else if (key == "DEPTH")
      header >> pam->depth;
    else if (key == "MAXVAL")
      header >> pam->maxval;
    else if (key == "TUPLTYPE")
      header >> pam->tupleType;
    else
      return false;
  }
  const size_t wide = pam->maxval > 255 ? 2 : 1,
               count = size_t{pam->width} * pam->height * pam->depth;
  if (bytes.size() - end - 7 != count * wide) return false;
  for (size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + end + 7 + i * wide);
    pam->samples.push_back(wide == 2 ? uint32_t{p[0]} << 8 | p[1] : p[0]);
  }
  return true;
}

Pam Write(ImageBuffer* image, bool forceAlpha = false) {
  std::string out;
  EXPECT_EQ(WritePam(
                image,
                [&out](const uint8_t* d, size_t n) {
                  return out.append(reinterpret_cast<const char*>(d), n), true;
                },
                forceAlpha),
            status::kOk);
  Pam pam;
  EXPECT_TRUE(ParsePam(out, &pam));
  return pam;
}

RefPtr<ImageBuffer> Make(PixelFormat format, uint32_t width, const std::vector<uint8_t>& row,
                         AlphaMode alpha) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(format, width, 1);
  std::memcpy(b->Row(0), row.data(), row.size());
  b->SetAlpha(alpha);
  return b;
}
template <class T>
std::vector<uint8_t> Raw(std::initializer_list<T> values) {
  std::vector<uint8_t> v(values.size() * sizeof(T));
  std::memcpy(v.data(), values.begin(), v.size());
  return v;
}

TEST(PamWriter, EveryFormatsLayout) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* what;
    RefPtr<ImageBuffer> image;
    bool forceAlpha;
    const char* tupleType;
    uint32_t maxval;
    std::vector<uint32_t> samples;
  } kCases[] = {
      {"Bgra8 without alpha",
       Make(PixelFormat::Bgra8, 2, {64, 32, 128, 128, 10, 20, 30, 0}, AlphaMode::None),
       false,
       "RGB",
       255,
       {128, 32, 64, 30, 20, 10}},
      {"Bgra8, alpha forced",
       Make(PixelFormat::Bgra8, 1, {64, 32, 128, 128}, AlphaMode::None),
       true,
       "RGB_ALPHA",
       255,
       {128, 32, 64, 255}},
      {"premultiplied written straight",
       Make(PixelFormat::Bgra8, 3, {64, 32, 128, 128, 10, 20, 30, 0, 200, 255, 1, 255},
            AlphaMode::Premultiplied),
       false,
       "RGB_ALPHA",
       255,
       {255, 64, 128, 128, 0, 0, 0, 0, 1, 255, 200, 255}},
      {"Bgra16 big-endian",
       Make(PixelFormat::Bgra16, 1, Raw<uint16_t>({0x0201, 0x1236, 0xFF12, 0x8002}),
            AlphaMode::Straight),
       false,
       "RGB_ALPHA",
       65535,
       {0xFF12, 0x1236, 0x0201, 0x8002}},
      {"Gray8",
       Make(PixelFormat::Gray8, 3, {0, 7, 255}, AlphaMode::None),
       false,
       "GRAYSCALE",
       255,
       {0, 7, 255}},
      {"Gray16",
       Make(PixelFormat::Gray16, 2, Raw<uint16_t>({0x1234, 0xFFFE}), AlphaMode::None),
       false,
       "GRAYSCALE",
       65535,
       {0x1234, 0xFFFE}},
      // Floats are clamped to 0..1, not a number gives 0.
      {"GrayFloat",
       Make(PixelFormat::GrayFloat, 6, Raw<float>({0.0f, 0.5f, 1.0f, -3.0f, 7.0f, nan}),
            AlphaMode::None),
       false,
       "GRAYSCALE",
       65535,
       {0, 32768, 65535, 0, 65535, 0}},
      {"BgraFloat premultiplied",
       Make(PixelFormat::BgraFloat, 1, Raw<float>({0.25f, 0.1f, 0.5f, 0.5f}),
            AlphaMode::Premultiplied),
       false,
       "RGB_ALPHA",
       65535,
       {65535, 13107, 32768, 32768}},
  };
  for (const auto& c : kCases) {
    const Pam pam = Write(c.image.get(), c.forceAlpha);
    EXPECT_EQ(pam.tupleType, c.tupleType) << c.what;
    EXPECT_EQ(pam.maxval, c.maxval) << c.what;
    EXPECT_EQ(pam.samples, c.samples) << c.what;
  }
  // Palettes expand to RGB_ALPHA; their alpha counts only when the image has alpha.
  RefPtr<ImageBuffer> b = Make(PixelFormat::Indexed8, 3, {0, 7, 253}, AlphaMode::None);
  b->Palette()[0] = 0x80102030u;
  b->Palette()[7] = 0x00FFEEDDu;
  EXPECT_EQ(Write(b.get()).samples,
            (std::vector<uint32_t>{0x10, 0x20, 0x30, 255, 0xFF, 0xEE, 0xDD, 255, 0, 0, 0, 255}));
  b->SetAlpha(AlphaMode::Straight);
  EXPECT_EQ(Write(b.get()).samples[3], 0x80u);
  // Rows follow each other without padding.
  RefPtr<ImageBuffer> g = ImageBuffer::Create(PixelFormat::Gray8, 5, 3);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 5; ++x) g->Row(y)[x] = static_cast<uint8_t>(y * 50 + x);
  EXPECT_EQ(Write(g.get()).samples[14], 104u);
}

TEST(PamWriter, Failures) {
  EXPECT_EQ(WritePam(nullptr, [](const uint8_t*, size_t) { return true; }),
            status::kInvalidArgument);
  if (RefPtr<ImageBuffer> empty = ImageBuffer::Create(PixelFormat::Bgra8, 0, 4)) {
    EXPECT_EQ(WritePam(empty.get(), [](const uint8_t*, size_t) { return true; }),
              status::kInvalidArgument);
  }
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Gray8, 4, 4);
  int calls = 0;
  EXPECT_EQ(WritePam(b.get(), [&calls](const uint8_t*, size_t) { return ++calls < 3; }),
            status::kCannotWriteFile);
  EXPECT_EQ(calls, 3);  // stopped at the first refusal
  test::TempDir dir;
  EXPECT_EQ(WritePamFile(b.get(), test::U16(dir.Path() + "/no/such/folder/x.pam")),
            status::kCannotCreateFile);
}

}  // namespace
}  // namespace vt
