// The adjustment file: what is written for a record, what a file of any
// shape gives back, and the file beside the image on disk.
#include "render/adjustment_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vt {
namespace {

using CF = ColourField;
using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }
void PutEntry(Bytes& b, const char* key, float value) {
  PutTag(b, key);
  Put32(b, std::bit_cast<uint32_t>(value));
}

// A file: header with the given RIFF size (or the right one), then chunks.
Bytes File(const Bytes& chunks, const char* form = "VTIA", int64_t riffSize = -1) {
  Bytes b;
  PutTag(b, "RIFF");
  Put32(b, riffSize < 0 ? static_cast<uint32_t>(4 + chunks.size()) : static_cast<uint32_t>(riffSize));
  PutTag(b, form);
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}
Bytes Chunk(const char* id, const Bytes& data, int64_t size = -1) {
  Bytes b;
  PutTag(b, id);
  Put32(b, size < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(size));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}
Bytes Entries(std::initializer_list<std::pair<const char*, float>> entries) {
  Bytes b;
  for (auto [k, v] : entries) PutEntry(b, k, v);
  return b;
}

TEST(AdjustmentFile, InversionAloneIsOneEntryOf28Bytes) {
  AdjustmentRecord r;
  r.colour.invert = true;
  const Bytes want = File(Chunk("LADJ", Entries({{"CINV", 1.0f}})));
  EXPECT_EQ(want.size(), 28u);
  EXPECT_EQ(AdjustmentFileBytes(r, 0), want);
  // Defaults write nothing; the image's own orientation is a default too.
  AdjustmentRecord plain;
  plain.orientation = 3;
  EXPECT_TRUE(AdjustmentFileBytes(plain, 3).empty());
}

TEST(AdjustmentFile, EveryFieldIsWrittenInOrderAndReadBack) {
  AdjustmentRecord r;
  const float values[kColourFieldCount] = {0.5f, -0.25f, 0.125f, 0.75f, -0.5f, 1.0f, 0.25f, -0.125f, 1.5f};
  for (int i = 0; i < kColourFieldCount; ++i) r.colour.Set(static_cast<CF>(i), values[i]);
  r.colour.invert = true;
  r.sharpness = -0.5f;
  r.orientation = 13;
  const Bytes bytes = AdjustmentFileBytes(r, 1);
  const Bytes want = File(Chunk("LADJ", Entries({{"CCTR", 0.5f}, {"CBRI", -0.25f}, {"CHUE", 0.125f},
                                                 {"CSAT", 0.75f}, {"CLUM", -0.5f}, {"CRED", 1.0f},
                                                 {"CGRN", 0.25f}, {"CBLU", -0.125f}, {"CGAM", 1.5f},
                                                 {"CINV", 1.0f}, {"ISHA", -0.5f}, {"IROT", 13.0f}})));
  EXPECT_EQ(bytes, want);
  AdjustmentRecord back;
  ASSERT_TRUE(ParseAdjustmentFile(bytes, &back));
  EXPECT_EQ(back, r);
}

TEST(AdjustmentFile, FilesOfAnyShapeGiveWhatMakesSense) {
  struct Case {
    const char* name;
    Bytes bytes;
    bool used;
    AdjustmentRecord want;  // starting from a record with orientation 1
  };
  const auto with = [](auto change) {
    AdjustmentRecord r;
    r.orientation = 1;
    change(r);
    return r;
  };
  const AdjustmentRecord unchanged = with([](AdjustmentRecord&) {});
  const Bytes contrast = Chunk("LADJ", Entries({{"CCTR", 0.5f}}));
  const std::vector<Case> cases = {
      {"IROT 2.4 rounds to a half turn", File(Chunk("LADJ", Entries({{"IROT", 2.4f}}))), true,
       with([](AdjustmentRecord& r) { r.orientation = 2; })},
      {"an orientation past four bits is passed over", File(Chunk("LADJ", Entries({{"IROT", 16.0f}, {"CINV", 0.5f}}))),
       true, with([](AdjustmentRecord& r) { r.colour.invert = true; })},
      {"another form type is ignored", File(contrast, "VTIX"), false, unchanged},
      {"not RIFF", [&] { Bytes b = File(contrast); b[0] = 'X'; return b; }(), false, unchanged},
      {"shorter than a chunk header", Bytes{'R', 'I', 'F', 'F', 8, 0, 0, 0, 'V', 'T', 'I', 'A', 'L', 'A', 'D'}, false,
       unchanged},
      {"unknown keys and chunks are skipped",
       File(Chunk("JUNK", Bytes(6, 0xEE)) + Chunk("LADJ", Entries({{"ABCD", 9.0f}, {"CGAM", 0.5f}}))), true,
       with([](AdjustmentRecord& r) { r.colour.Set(CF::kGamma, 0.5f); })},
      {"a chunk longer than the file reads the entries there are",
       File(Chunk("LADJ", Entries({{"CBRI", 0.5f}, {"CHUE", 0.25f}}), 400)), true,
       with([](AdjustmentRecord& r) { r.colour.Set(CF::kBrightness, 0.5f), r.colour.Set(CF::kHue, 0.25f); })},
      {"the RIFF size ends the data", File(Chunk("LADJ", Entries({{"CBRI", 0.5f}, {"CHUE", 0.25f}})), "VTIA", 4 + 8 + 8),
       true, with([](AdjustmentRecord& r) { r.colour.Set(CF::kBrightness, 0.5f); })},
      {"a half entry at the end is left", [&] { Bytes b = File(Chunk("LADJ", Entries({{"CLUM", 0.5f}, {"CSAT", 0.5f}}))); b.resize(b.size() - 3); return b; }(),
       true, with([](AdjustmentRecord& r) { r.colour.Set(CF::kLightness, 0.5f); })},
      {"values beyond the controls are held to them, non-numbers passed over",
       File(Chunk("LADJ", Entries({{"CCTR", 40.0f}, {"ISHA", -1e30f}, {"CGAM", std::bit_cast<float>(0x7FC00000u)}}))),
       true, with([](AdjustmentRecord& r) { r.colour.Set(CF::kContrast, 1.0f), r.sharpness = -1.0f; })},
      {"a huge chunk size does not wrap", File(Chunk("XXXX", {}, 0xFFFFFFF8) + contrast), false, unchanged},
  };
  for (const Case& c : cases) {
    AdjustmentRecord r;
    r.orientation = 1;
    EXPECT_EQ(ParseAdjustmentFile(c.bytes, &r), c.used) << c.name;
    EXPECT_EQ(r, c.want) << c.name;
  }
}

TEST(AdjustmentFile, SavingWritesBesideTheImageAndDefaultsDeleteIt) {
  test::TempDir dir;
  const std::u16string image = test::U16(dir.Path() + "/photo.jpg");
  const std::string file = dir.Path() + "/photo.jpg.vta";
  AdjustmentRecord r;
  r.sharpness = 1.0f;
  ASSERT_EQ(SaveAdjustmentFile(image, r, 0), status::kOk);
  EXPECT_EQ(test::ReadFileBytes(file).size(), 28u);
  AdjustmentRecord back;
  EXPECT_TRUE(LoadAdjustmentFile(image, &back));
  EXPECT_EQ(back.sharpness, 1.0f);
  ASSERT_EQ(SaveAdjustmentFile(image, AdjustmentRecord{}, 0), status::kOk);
  EXPECT_FALSE(test::FileExists(file));
  EXPECT_FALSE(LoadAdjustmentFile(image, &back));
  // A folder that does not exist cannot take the file.
  EXPECT_TRUE(Failed(SaveAdjustmentFile(test::U16(dir.Path() + "/none/x.png"), r, 0)));
}

}  // namespace
}  // namespace vt
