// The public PNG conformance suite (PngSuite) through the load pipeline.
//
// Every valid image must decode to exactly the pixels of the suite's expected
// arrays (json/, red-green-blue-alpha, 16-bit files in 16 bits) and to the hash
// checked in below, so that any change in the decoded pixels shows in a diff.
// The corrupted "x" files must be refused with the right code, except the two
// whose only fault is a wrong CRC: CRCs are not checked, so those decode.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "png_test_util.h"
#include "support/test_support.h"

namespace vt {
namespace {

// FNV-1a of RgbaSamples() in the image's own precision, little-endian samples.
const std::map<std::string, uint64_t> kHashes = {
#include "png_suite_hashes.inc"
};

std::vector<uint16_t> ReadJsonArray(const std::string& path) {
  std::vector<uint16_t> v;
  const std::string text = test::ReadFileBytes(path);
  uint32_t value = 0;
  bool in = false;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      value = value * 10 + static_cast<uint32_t>(c - '0');
      in = true;
    } else if (in) {
      v.push_back(static_cast<uint16_t>(value));
      value = 0;
      in = false;
    }
  }
  return v;
}

std::vector<std::string> SuiteFiles() {
  std::vector<std::string> names;
  const std::string dir = test::CorpusPath("pngsuite/png");
  if (!test::FileExists(dir)) return names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 4 && name.substr(name.size() - 4) == ".png") names.push_back(name.substr(0, name.size() - 4));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsCrcOnlyFault(const std::string& name) { return name == "xcsn0g01" || name == "xhdn0g08"; }
bool IsSignatureFault(const std::string& name) {
  return name.rfind("xs", 0) == 0 || name == "xcrn0g04" || name == "xlfn0g04";
}

TEST(PngSuite, ValidImagesDecodeToTheExpectedPixels) {
  const std::vector<std::string> names = SuiteFiles();
  if (names.empty()) GTEST_SKIP() << "PngSuite not in the shared corpus";
  const bool print = std::getenv("VISTREL_PRINT_PNG_HASHES") != nullptr;
  size_t checked = 0;
  for (const std::string& name : names) {
    if (name[0] == 'x' && !IsCrcOnlyFault(name)) continue;
    SCOPED_TRACE(name);
    test::PngDecoded d = test::DecodePngFile(test::CorpusPath("pngsuite/png/" + name + ".png"));
    ASSERT_EQ(d.status, status::kOk);
    uint32_t bits = 0;
    const std::vector<uint16_t> got = test::RgbaSamples(d.image.get(), &bits);
    const std::vector<uint16_t> want =
        ReadJsonArray(test::CorpusPath("pngsuite/json/" + name + ".json"));
    ASSERT_EQ(got.size(), want.size());
    size_t firstDiff = got.size();
    for (size_t i = 0; i < got.size() && firstDiff == got.size(); ++i)
      if (got[i] != want[i]) firstDiff = i;
    EXPECT_EQ(firstDiff, got.size()) << "first difference at sample " << firstDiff << ": "
                                     << (firstDiff < got.size() ? got[firstDiff] : 0) << " vs "
                                     << (firstDiff < got.size() ? want[firstDiff] : 0);
    // 16-bit files keep their precision.
    EXPECT_EQ(bits, name.substr(6, 2) == "16" ? 16u : 8u);
    const uint64_t hash = test::Fnv1a(got);
    if (print) {
      std::printf("    {\"%s\", 0x%016llxull},\n", name.c_str(), (unsigned long long)hash);
      continue;
    }
    const auto it = kHashes.find(name);
    ASSERT_NE(it, kHashes.end()) << "no checked-in hash";
    EXPECT_EQ(it->second, hash);
    ++checked;
  }
  if (!print) {
    EXPECT_EQ(checked, kHashes.size());
  }
}

TEST(PngSuite, CorruptedFilesAreRefused) {
  const std::vector<std::string> names = SuiteFiles();
  if (names.empty()) GTEST_SKIP() << "PngSuite not in the shared corpus";
  size_t refused = 0;
  for (const std::string& name : names) {
    if (name[0] != 'x' || IsCrcOnlyFault(name)) continue;
    SCOPED_TRACE(name);
    const test::PngDecoded d =
        test::DecodePngFile(test::CorpusPath("pngsuite/png/" + name + ".png"));
    if (IsSignatureFault(name)) {
      EXPECT_EQ(d.status, status::kUnknownFormat);
    } else {
      EXPECT_TRUE(d.status == status::kDamaged || d.status == status::kUnsupportedSubformat)
          << std::hex << d.status;
    }
    ++refused;
  }
  EXPECT_EQ(refused, 12u);
}

// Interlaced and plain twins hold the same pixels.
TEST(PngSuite, InterlacedTwinsMatch) {
  const std::vector<std::string> names = SuiteFiles();
  if (names.empty()) GTEST_SKIP() << "PngSuite not in the shared corpus";
  for (const std::string& name : names) {
    if (name.rfind("basi", 0) != 0) continue;
    SCOPED_TRACE(name);
    const std::string twin = "basn" + name.substr(4);
    test::PngDecoded a = test::DecodePngFile(test::CorpusPath("pngsuite/png/" + name + ".png"));
    test::PngDecoded b = test::DecodePngFile(test::CorpusPath("pngsuite/png/" + twin + ".png"));
    ASSERT_EQ(a.status, status::kOk);
    ASSERT_EQ(b.status, status::kOk);
    EXPECT_EQ(test::RgbaSamples(a.image.get()), test::RgbaSamples(b.image.get()));
  }
}

}  // namespace
}  // namespace vt
