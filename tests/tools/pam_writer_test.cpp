#include "decode/pam_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vt {
namespace {

struct Pam {
  uint32_t width = 0, height = 0, depth = 0, maxval = 0;
  std::string tupleType;
  std::vector<uint32_t> samples;
};

// Reads back what WritePam wrote, checking the header's shape on the way.
bool ParsePam(const std::string& bytes, Pam* pam) {
  const size_t end = bytes.find("ENDHDR\n");
  if (bytes.rfind("P7\n", 0) != 0 || end == std::string::npos) return false;
  std::istringstream header(bytes.substr(3, end - 3));
  std::string key;
  while (header >> key) {
    if (key == "WIDTH") header >> pam->width;
    else if (key == "HEIGHT") header >> pam->height;
    else if (key == "DEPTH") header >> pam->depth;
    else if (key == "MAXVAL") header >> pam->maxval;
    else if (key == "TUPLTYPE") header >> pam->tupleType;
    else return false;
  }
  const size_t bytesPerSample = pam->maxval > 255 ? 2 : 1;
  const size_t count = size_t{pam->width} * pam->height * pam->depth;
  const size_t start = end + 7;
  if (bytes.size() - start != count * bytesPerSample) return false;
  for (size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + start + i * bytesPerSample);
    pam->samples.push_back(bytesPerSample == 2 ? uint32_t{p[0]} << 8 | p[1] : p[0]);
  }
  return true;
}

std::string Write(ImageBuffer* image, bool forceAlpha = false, Status* status = nullptr) {
  std::string out;
  const Status s = WritePam(
      image,
      [&out](const uint8_t* d, size_t n) {
        out.append(reinterpret_cast<const char*>(d), n);
        return true;
      },
      forceAlpha);
  if (status) *status = s;
  return out;
}

void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void StoreFloat(uint8_t* p, float v) { std::memcpy(p, &v, 4); }

TEST(PamWriter, Bgra16KeepsSixteenBitsBigEndianAndAlpha) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Bgra16, 3, 2);
  ASSERT_TRUE(b);
  b->SetAlpha(AlphaMode::Straight);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) {
      uint8_t* p = b->Row(y) + x * 8;
      Store16(p + 0, static_cast<uint16_t>(0x0100 * x + y));      // blue
      Store16(p + 2, static_cast<uint16_t>(0x1234 + x));          // green
      Store16(p + 4, static_cast<uint16_t>(0xFF00 + 16 * y + x));  // red
      Store16(p + 6, static_cast<uint16_t>(0x8000 + x));           // alpha
    }
  Pam pam;
  ASSERT_TRUE(ParsePam(Write(b.get()), &pam));
  EXPECT_EQ(pam.width, 3u);
  EXPECT_EQ(pam.height, 2u);
  EXPECT_EQ(pam.depth, 4u);
  EXPECT_EQ(pam.maxval, 65535u);
  EXPECT_EQ(pam.tupleType, "RGB_ALPHA");
  // Second row, third pixel: red, green, blue, alpha.
  const uint32_t* s = &pam.samples[(1 * 3 + 2) * 4];
  EXPECT_EQ(s[0], 0xFF12u);
  EXPECT_EQ(s[1], 0x1236u);
  EXPECT_EQ(s[2], 0x0201u);
  EXPECT_EQ(s[3], 0x8002u);

  // Without alpha the fourth channel is left out.
  b->SetAlpha(AlphaMode::None);
  pam = {};
  ASSERT_TRUE(ParsePam(Write(b.get()), &pam));
  EXPECT_EQ(pam.depth, 3u);
  EXPECT_EQ(pam.tupleType, "RGB");
  EXPECT_EQ(pam.samples[0], 0xFF00u);
  EXPECT_EQ(pam.samples[2], 0x0000u);
}

TEST(PamWriter, Gray8AndGray16StayGrey) {
  RefPtr<ImageBuffer> g = ImageBuffer::Create(PixelFormat::Gray8, 5, 3);
  ASSERT_TRUE(g);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 5; ++x) g->Row(y)[x] = static_cast<uint8_t>(y * 50 + x);
  Pam pam;
  ASSERT_TRUE(ParsePam(Write(g.get()), &pam));
  EXPECT_EQ(pam.tupleType, "GRAYSCALE");
  EXPECT_EQ(pam.depth, 1u);
  EXPECT_EQ(pam.maxval, 255u);
  ASSERT_EQ(pam.samples.size(), 15u);
  EXPECT_EQ(pam.samples[14], 104u);  // no row padding between rows

  RefPtr<ImageBuffer> g16 = ImageBuffer::Create(PixelFormat::Gray16, 2, 1);
  ASSERT_TRUE(g16);
  Store16(g16->Row(0), 0x1234);
  Store16(g16->Row(0) + 2, 0xFFFE);
  const std::string bytes = Write(g16.get());
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x12\x34\xFF\xFE", 4));
  pam = {};
  ASSERT_TRUE(ParsePam(bytes, &pam));
  EXPECT_EQ(pam.tupleType, "GRAYSCALE");
  EXPECT_EQ(pam.maxval, 65535u);
}

TEST(PamWriter, Indexed8ExpandsThePalette) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Indexed8, 4, 1);
  ASSERT_TRUE(b);
  uint32_t* pal = b->Palette();
  ASSERT_NE(pal, nullptr);
  pal[0] = 0x80102030u;  // alpha 0x80, red 0x10, green 0x20, blue 0x30
  pal[7] = 0x00FFEEDDu;
  const uint8_t idx[4] = {0, 7, 253, 0};
  std::memcpy(b->Row(0), idx, 4);

  Pam pam;
  ASSERT_TRUE(ParsePam(Write(b.get()), &pam));
  EXPECT_EQ(pam.tupleType, "RGB_ALPHA");
  EXPECT_EQ(pam.maxval, 255u);
  // Without alpha, the palette's alpha bytes mean nothing: opaque.
  EXPECT_EQ(pam.samples, (std::vector<uint32_t>{0x10, 0x20, 0x30, 255, 0xFF, 0xEE, 0xDD, 255,
                                                0, 0, 0, 255, 0x10, 0x20, 0x30, 255}));
  b->SetAlpha(AlphaMode::Straight);
  pam = {};
  ASSERT_TRUE(ParsePam(Write(b.get()), &pam));
  EXPECT_EQ(pam.samples[3], 0x80u);
  EXPECT_EQ(pam.samples[7], 0u);
}

TEST(PamWriter, Bgra8AlphaModes) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Bgra8, 3, 1);
  ASSERT_TRUE(b);
  const uint8_t px[12] = {64, 32, 128, 128, /**/ 10, 20, 30, 0, /**/ 200, 255, 1, 255};
  std::memcpy(b->Row(0), px, 12);

  Pam pam;
  ASSERT_TRUE(ParsePam(Write(b.get()), &pam));
  EXPECT_EQ(pam.tupleType, "RGB");
  EXPECT_EQ(pam.samples, (std::vector<uint32_t>{128, 32, 64, 30, 20, 10, 1, 255, 200}));

  pam = {};
  ASSERT_TRUE(ParsePam(Write(b.get(), /*forceAlpha*/ true), &pam));
  EXPECT_EQ(pam.tupleType, "RGB_ALPHA");
  EXPECT_EQ(pam.samples[3], 255u);
  EXPECT_EQ(pam.samples[7], 255u);

  // Premultiplied pixels are written straight.
  b->SetAlpha(AlphaMode::Premultiplied);
  pam = {};
  ASSERT_TRUE(ParsePam(Write(b.get()), &pam));
  EXPECT_EQ(pam.samples, (std::vector<uint32_t>{255, 64, 128, 128, 0, 0, 0, 0, 1, 255, 200, 255}));
}

TEST(PamWriter, FloatFormatsAreClampedToSixteenBits) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  RefPtr<ImageBuffer> g = ImageBuffer::Create(PixelFormat::GrayFloat, 6, 1);
  ASSERT_TRUE(g);
  const float values[6] = {0.0f, 0.5f, 1.0f, -3.0f, 7.0f, nan};
  for (int i = 0; i < 6; ++i) StoreFloat(g->Row(0) + 4 * i, values[i]);
  Pam pam;
  ASSERT_TRUE(ParsePam(Write(g.get()), &pam));
  EXPECT_EQ(pam.tupleType, "GRAYSCALE");
  EXPECT_EQ(pam.maxval, 65535u);
  EXPECT_EQ(pam.samples, (std::vector<uint32_t>{0, 32768, 65535, 0, 65535, 0}));

  RefPtr<ImageBuffer> c = ImageBuffer::Create(PixelFormat::BgraFloat, 1, 1);
  ASSERT_TRUE(c);
  c->SetAlpha(AlphaMode::Premultiplied);
  const float bgra[4] = {0.25f, 0.1f, 0.5f, 0.5f};
  for (int i = 0; i < 4; ++i) StoreFloat(c->Row(0) + 4 * i, bgra[i]);
  pam = {};
  ASSERT_TRUE(ParsePam(Write(c.get()), &pam));
  EXPECT_EQ(pam.tupleType, "RGB_ALPHA");
  EXPECT_EQ(pam.samples, (std::vector<uint32_t>{65535, 13107, 32768, 32768}));
}

TEST(PamWriter, Failures) {
  RefPtr<ImageBuffer> empty = ImageBuffer::Create(PixelFormat::Bgra8, 0, 4);
  Status s = status::kOk;
  if (empty) {
    Write(empty.get(), false, &s);
    EXPECT_EQ(s, status::kInvalidArgument);
  }
  EXPECT_EQ(WritePam(nullptr, [](const uint8_t*, size_t) { return true; }),
            status::kInvalidArgument);

  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Gray8, 4, 4);
  ASSERT_TRUE(b);
  int calls = 0;
  EXPECT_EQ(WritePam(b.get(), [&calls](const uint8_t*, size_t) { return ++calls < 3; }),
            status::kCannotWriteFile);
  EXPECT_EQ(calls, 3);  // stopped at the first refusal

  test::TempDir dir;
  EXPECT_EQ(WritePamFile(b.get(), test::U16(dir.Path() + "/no/such/folder/x.pam")),
            status::kCannotCreateFile);
}

#ifndef _WIN32
// Reads a PAM file with netpbm's pamtable: the samples of each row, tuples
// separated by '|'.
bool RunPamtable(const std::string& path, std::vector<uint32_t>* samples) {
  std::FILE* p = popen(("/usr/bin/pamtable '" + path + "' 2>/dev/null").c_str(), "r");
  if (!p) return false;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  if (pclose(p) != 0) return false;
  for (char& c : text)
    if (c == '|') c = ' ';
  std::istringstream in(text);
  uint32_t v;
  while (in >> v) samples->push_back(v);
  return true;
}

TEST(PamWriter, NetpbmReadsTheFiles) {
  if (!test::FileExists("/usr/bin/pamtable") || !test::FileExists("/usr/bin/pamfile"))
    GTEST_SKIP() << "netpbm is not installed";
  test::TempDir dir;
  std::vector<RefPtr<ImageBuffer>> images;
  RefPtr<ImageBuffer> b16 = ImageBuffer::Create(PixelFormat::Bgra16, 7, 5);
  RefPtr<ImageBuffer> g8 = ImageBuffer::Create(PixelFormat::Gray8, 9, 2);
  RefPtr<ImageBuffer> i8 = ImageBuffer::Create(PixelFormat::Indexed8, 3, 3);
  ASSERT_TRUE(b16 && g8 && i8);
  b16->SetAlpha(AlphaMode::Straight);
  for (RefPtr<ImageBuffer>* img : {&b16, &g8, &i8}) {
    ImageBuffer* im = img->get();
    const std::vector<uint8_t> noise =
        test::RandomBytes(size_t{im->Width()} * im->BytesPerPixel(), 99);
    for (uint32_t y = 0; y < im->Height(); ++y) {
      std::memcpy(im->Row(y), noise.data(), noise.size());
      im->Row(y)[0] = static_cast<uint8_t>(y);
    }
  }
  for (int i = 0; i < 256; ++i) i8->Palette()[i] = 0xFF000000u | uint32_t(i) * 0x010203u;

  int n = 0;
  for (ImageBuffer* im : {b16.get(), g8.get(), i8.get()}) {
    const std::string path = dir.Path() + "/img" + std::to_string(n++) + ".pam";
    ASSERT_EQ(WritePamFile(im, test::U16(path)), status::kOk);
    Pam ours;
    ASSERT_TRUE(ParsePam(test::ReadFileBytes(path), &ours));
    std::vector<uint32_t> theirs;
    ASSERT_TRUE(RunPamtable(path, &theirs)) << path;
    EXPECT_EQ(theirs, ours.samples) << path;
    EXPECT_EQ(std::system(("/usr/bin/pamfile '" + path + "' >/dev/null 2>&1").c_str()), 0);
  }
}
#endif

}  // namespace
}  // namespace vt
