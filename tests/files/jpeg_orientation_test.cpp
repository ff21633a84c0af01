// The orientation tag of JPEG files written by exiftool: found in either byte
// order, rewritten in place, and read back by the program's own EXIF reader
// as the orientation that was saved.
#include "files/jpeg_orientation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "formats/meta/exif_reader.h"
#include "image/image_buffer.h"
#include "image/image_properties.h"
#include "render/orientation.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::U16;

std::span<const uint8_t> Bytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

#ifndef _WIN32
// The reference tool, run only where it exists (not in the Windows build).
std::string Exiftool(const std::string& arguments) {
  std::string out;
  std::FILE* p = popen(("/usr/bin/exiftool " + arguments + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The picture a 3 x 2 image shows under code, as pixel values row by row.
std::vector<uint32_t> Shown(uint8_t code) {
  RefPtr<ImageBuffer> source = ImageBuffer::Create(PixelFormat::Bgra8, 3, 2);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) reinterpret_cast<uint32_t*>(source->Row(y))[x] = y * 3 + x;
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PixelFormat::Bgra8, SwapsSides(code) ? 2 : 3, SwapsSides(code) ? 3 : 2);
  EXPECT_EQ(Orient(target.get(), source.get(), code), status::kOk);
  std::vector<uint32_t> v;
  for (uint32_t y = 0; y < target->Height(); ++y)
    for (uint32_t x = 0; x < target->Width(); ++x) v.push_back(reinterpret_cast<uint32_t*>(target->Row(y))[x]);
  return v;
}

TEST(JpegOrientation, ExiftoolsTagsAreFoundAndRewrittenInBothByteOrders) {
  const std::string photo = test::CorpusPath("jpeg/libjpeg-turbo/testimages/testorig.jpg");
  ASSERT_EQ(Exiftool("-ver").empty(), false) << "exiftool writes the reference files";
  test::TempDir dir, saved;
  std::map<std::string, uint16_t> expected;  // file name: the value exiftool must read back
  for (const char* order : {"II", "MM"}) {
    for (uint16_t start = 1; start <= 8; ++start) {
      SCOPED_TRACE(testing::Message() << order << " " << start);
      const std::string jpg = dir.Path() + "/" + order + std::to_string(start) + ".jpg";
      ASSERT_EQ(Exiftool("-q -n -ExifByteOrder=" + std::string(order) + " -Orientation=" + std::to_string(start) +
                         " -o '" + jpg + "' '" + photo + "'"),
                "");
      const std::string before = test::ReadFileBytes(jpg);
      const auto tag = FindJpegOrientationTag(Bytes(before));
      ASSERT_TRUE(tag);
      EXPECT_EQ(tag->value, start);
      EXPECT_EQ(tag->bigEndian, order[0] == 'M');
      // Each code once per byte order: the plain one and its mirrored twin.
      for (const uint8_t code : {uint8_t(start - 1), uint8_t(start - 1 + 8)}) {
        SCOPED_TRACE(testing::Message() << "code " << int(code));
        const std::string name = std::string(order) + "_" + std::to_string(code) + ".jpg";
        const std::string path = saved.Write(name, before);
        const uint16_t want = ExifOrientationOfCode(code);
        ASSERT_EQ(SaveJpegOrientation(U16(path), code, false), want == start ? status::kNothingDone : status::kOk);
        expected[name] = want;
        const std::string after = test::ReadFileBytes(path);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
          if (i != tag->offset && i != tag->offset + 1) {
            ASSERT_EQ(after[i], before[i]) << i;
          }
        }
        // The program's own reader takes the saved value for the same picture.
        const size_t app1 = after.find("Exif");
        ASSERT_NE(app1, std::string::npos);
        ImageProperties properties;
        ReadExifBlock(properties, Bytes(after.substr(app1)));
        const std::u16string* text = properties.Get(PropertyId::Orientation);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(Shown(OrientationFromProperty(*text)), Shown(code));
      }
    }
  }
  // exiftool reads every rewritten file back (one run for all of them).
  std::istringstream lines(Exiftool("-T -n -FileName -Orientation '" + saved.Path() + "'"));
  std::string name, value;
  size_t read = 0;
  while (lines >> name >> value) {
    ASSERT_TRUE(expected.count(name)) << name;
    EXPECT_EQ(value, std::to_string(expected[name])) << name;
    ++read;
  }
  EXPECT_EQ(read, expected.size());
}
#endif

TEST(JpegOrientation, FilesWithoutATagOrCutShortHaveNone) {
  const std::string plain = test::ReadFileBytes(test::CorpusPath("jpeg/libjpeg-turbo/testimages/testorig.jpg"));
  EXPECT_FALSE(FindJpegOrientationTag(Bytes(plain)));
  test::TempDir dir;
  const std::string path = dir.Write("plain.jpg", plain);
  EXPECT_EQ(SaveJpegOrientation(U16(path), 1, false), status::kUnsupportedSubformat);
  EXPECT_EQ(test::ReadFileBytes(path), plain);
  EXPECT_EQ(SaveJpegOrientation(U16(dir.Path() + "/missing.jpg"), 1, false), status::kCannotOpenFile);
  // A little-endian block with the tag, then every cut of it: the tag is
  // found only while its value lies inside what is left.
  std::string jpeg("\xFF\xD8\xFF\xE1\x00\x22"
                   "Exif\0\0"
                   "II\x2A\0\x08\0\0\0"
                   "\x01\0"
                   "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"
                   "\0\0\0\0"
                   "\xFF\xD9",
                   40);
  const auto whole = FindJpegOrientationTag(Bytes(jpeg));
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->value, 6);
  EXPECT_EQ(whole->offset, 30u);
  for (size_t cut = 0; cut < jpeg.size(); ++cut) {
    const auto found = FindJpegOrientationTag(Bytes(jpeg.substr(0, cut)));
    EXPECT_EQ(found.has_value(), cut >= 38) << cut;  // the end-of-image marker is not needed
  }
  // Lengths that lie: a segment longer than the file, an IFD beyond its block,
  // the tag with the wrong type.
  for (auto [at, value] : {std::pair<size_t, char>{5, '\x40'}, {16, '\x30'}, {24, '\x04'}}) {
    std::string bad = jpeg;
    bad[at] = value;
    EXPECT_FALSE(FindJpegOrientationTag(Bytes(bad))) << at;
  }
}

}  // namespace
}  // namespace vt
