// The public BMP test suite (bmpsuite) through the real load pipeline, compared
// with the suite's own PNG renderings.
//
// Every file of the suite has a row in kCases: what the reader does with it
// (decode, or fail with a given status) and which rendering it must match. A
// file the table does not know fails the test, so a new suite version cannot
// slip through unchecked.
//
// Colour fields narrower than 8 bits widen here by shifting (a 5-bit 31 is 248)
// and wider ones keep their top 8 bits, where the suite's renderings scale
// (31 is 255). For such fields the comparison recovers the field value from the
// rendering and applies the shift; a field wider than the rendering's samples
// cannot be recovered exactly and is allowed one step of difference.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "formats/bmp/bmp_reader.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"
#include "support_png.h"

namespace vt {
namespace {

// Bits per channel in the file, red, green, blue, alpha. 0 for a channel the
// file lacks: colour 0, alpha 255.
struct Depths {
  uint8_t red = 8, green = 8, blue = 8, alpha = 8;
};
constexpr Depths kEight{};
constexpr Depths kOpaque{8, 8, 8, 0};

// How the decoded image relates to the rendering when it is not the same.
enum class View : uint8_t {
  Same,
  SwapRedGreen,  // the rendering applied the file's colour profile, which swaps them
  UpsideDown,    // the rendering honoured a row order this reader does not
};

struct Case {
  const char* file;
  Status status;          // of the load
  const char* reference;  // rendering in ref/, or nullptr
  Depths depths = kEight;
  const char* why = "";
  View view = View::Same;
};

// An information header of unknown size: the probe reports an unsupported
// variant, which the pipeline counts as "no reader for this file".
constexpr Status kHeaderSizeRejected = status::kUnknownFormat;

// 16-bit files widen by shifting; their renderings scale.
constexpr Depths k555{5, 5, 5, 0};
constexpr Depths k565{5, 6, 5, 0};

const Case kCases[] = {
    // Good files: all decode and match the suite's primary rendering.
    {"g/pal1.bmp", status::kOk, "pal1.png"},
    {"g/pal1bg.bmp", status::kOk, "pal1bg.png"},
    {"g/pal1wb.bmp", status::kOk, "pal1.png"},
    {"g/pal4.bmp", status::kOk, "pal4.png"},
    {"g/pal4gs.bmp", status::kOk, "pal4gs.png"},
    {"g/pal4rle.bmp", status::kOk, "pal4.png"},
    {"g/pal8-0.bmp", status::kOk, "pal8.png"},
    {"g/pal8.bmp", status::kOk, "pal8.png"},
    {"g/pal8gs.bmp", status::kOk, "pal8gs.png"},
    {"g/pal8nonsquare.bmp", status::kOk, "pal8nonsquare-e.png", kEight, "pixels as stored"},
    {"g/pal8os2.bmp", status::kOk, "pal8.png"},
    {"g/pal8rle.bmp", status::kOk, "pal8.png"},
    {"g/pal8topdown.bmp", status::kOk, "pal8.png"},
    {"g/pal8v4.bmp", status::kOk, "pal8.png"},
    {"g/pal8v5.bmp", status::kOk, "pal8.png"},
    {"g/pal8w124.bmp", status::kOk, "pal8w124.png"},
    {"g/pal8w125.bmp", status::kOk, "pal8w125.png"},
    {"g/pal8w126.bmp", status::kOk, "pal8w126.png"},
    {"g/rgb16-565.bmp", status::kOk, "rgb16-565.png", k565},
    {"g/rgb16-565pal.bmp", status::kOk, "rgb16-565.png", k565},
    {"g/rgb16.bmp", status::kOk, "rgb16.png", k555},
    {"g/rgb16bfdef.bmp", status::kOk, "rgb16.png", k555},
    {"g/rgb24.bmp", status::kOk, "rgb24.png"},
    {"g/rgb24pal.bmp", status::kOk, "rgb24.png"},
    {"g/rgb32.bmp", status::kOk, "rgb24.png"},
    {"g/rgb32bf.bmp", status::kOk, "rgb24.png"},
    {"g/rgb32bfdef.bmp", status::kOk, "rgb24.png"},

    // Questionable files.
    {"q/pal1huffmsb.bmp", kHeaderSizeRejected, nullptr, kEight, "64-byte OS/2 header"},
    {"q/pal1p1.bmp", status::kOk, "pal1p1.png", kEight, "index without entry is black"},
    {"q/pal2.bmp", status::kUnsupportedSubformat, nullptr, kEight, "2 bits per pixel"},
    {"q/pal2color.bmp", status::kUnsupportedSubformat, nullptr, kEight, "2 bits per pixel"},
    {"q/pal4rlecut.bmp", status::kOk, "pal4rlecut-0.png", kEight, "skipped pixels are index 0"},
    {"q/pal4rletrns.bmp", status::kOk, "pal4rletrns-0.png", kEight, "skipped pixels are index 0"},
    {"q/pal8offs.bmp", status::kOk, "pal8.png"},
    {"q/pal8os2-hs.bmp", status::kOk, "pal8.png"},
    {"q/pal8os2-sz.bmp", status::kOk, "pal8.png"},
    {"q/pal8os2sp.bmp", status::kOk, "pal8.png"},
    {"q/pal8os2v2-16.bmp", kHeaderSizeRejected, nullptr, kEight, "16-byte header"},
    {"q/pal8os2v2-40sz.bmp", status::kOk, "pal8.png"},
    {"q/pal8os2v2-sz.bmp", kHeaderSizeRejected, nullptr, kEight, "64-byte header"},
    {"q/pal8os2v2.bmp", kHeaderSizeRejected, nullptr, kEight, "64-byte header"},
    {"q/pal8oversizepal.bmp", status::kOk, "pal8.png"},
    {"q/pal8rlecut.bmp", status::kOk, "pal8rlecut-0.png", kEight, "skipped pixels are index 0"},
    {"q/pal8rletrns.bmp", status::kOk, "pal8rletrns-0.png", kEight, "skipped pixels are index 0"},
    {"q/rgb16-231.bmp", status::kOk, "rgb16-231.png", {2, 3, 1, 0}},
    {"q/rgb16-3103.bmp", status::kOk, "rgb16-3103.png", {3, 10, 3, 0}},
    {"q/rgb16faketrns.bmp", status::kOk, "rgb16.png", k555, "the unused bit is not alpha"},
    {"q/rgb24jpeg.bmp", status::kUnsupportedSubformat, nullptr, kEight, "embedded JPEG"},
    {"q/rgb24largepal.bmp", status::kOk, "rgb24.png"},
    {"q/rgb24lprof.bmp", status::kOk, "rgb24.png"},
    {"q/rgb24png.bmp", status::kUnsupportedSubformat, nullptr, kEight, "embedded PNG"},
    {"q/rgb24prof.bmp", status::kOk, "rgb24.png"},
    {"q/rgb24prof2.bmp", status::kOk, "rgb24.png", kEight, "colour profiles are not applied",
     View::SwapRedGreen},
    {"q/rgb24rle24.bmp", kHeaderSizeRejected, nullptr, kEight, "64-byte OS/2 header"},
    {"q/rgb32-111110.bmp", status::kOk, "rgb24.png", {11, 11, 10, 0}},
    {"q/rgb32-7187.bmp", status::kOk, "rgb32-7187.png", {7, 18, 7, 0}},
    {"q/rgb32-xbgr.bmp", status::kOk, "rgb24.png", kOpaque},
    {"q/rgb32fakealpha.bmp", status::kOk, "fakealpha.png", kEight,
     "plain 32-bit data with a non-zero fourth byte carry alpha"},
    {"q/rgb32h52.bmp", status::kOk, "rgb24.png", kOpaque},
    {"q/rgba16-1924.bmp", status::kOk, "rgba16-1924.png", {1, 9, 2, 4}},
    {"q/rgba16-4444.bmp", status::kOk, "rgba16-4444.png", {4, 4, 4, 4}},
    {"q/rgba16-5551.bmp", status::kOk, "rgba16-5551.png", {5, 5, 5, 1}},
    {"q/rgba32-1.bmp", status::kOk, "rgba32.png"},
    {"q/rgba32-1010102.bmp", status::kOk, "rgba32-1010102.png", {10, 10, 10, 2}},
    {"q/rgba32-2.bmp", status::kOk, "rgba32.png"},
    {"q/rgba32-61754.bmp", status::kOk, "rgba32-61754.png", {6, 17, 5, 4}},
    {"q/rgba32-81284.bmp", status::kOk, "rgba32-81284.png", {8, 12, 8, 4}},
    {"q/rgba32abf.bmp", status::kUnsupportedSubformat, nullptr, kEight, "compression 6"},
    {"q/rgba32h56.bmp", status::kOk, "rgba32.png"},
    {"q/rgba64.bmp", status::kUnsupportedSubformat, nullptr, kEight, "64 bits per pixel"},

    // Related formats.
    {"x/ba-bm.bmp", status::kOk, "pal8.png", kEight, "OS/2 bitmap array"},

    // Bad files: an error or an image, never a crash.
    {"b/badbitcount.bmp", status::kUnsupportedSubformat, nullptr},
    {"b/badbitssize.bmp", status::kOk, "pal1.png", kEight, "image size field unused"},
    {"b/baddens1.bmp", status::kOk, "pal1.png"},
    {"b/baddens2.bmp", status::kOk, "pal1.png"},
    {"b/badfilesize.bmp", status::kOk, "pal1.png", kEight, "file size field unused"},
    {"b/badheadersize.bmp", kHeaderSizeRejected, nullptr},
    {"b/badpalettesize.bmp", status::kOk, "pal8.png", kEight, "palette size from the offsets"},
    {"b/badplanes.bmp", status::kUnsupportedSubformat, nullptr},
    {"b/badrle.bmp", status::kOk, nullptr},
    {"b/badrle4.bmp", status::kOk, nullptr},
    {"b/badrle4bis.bmp", status::kOk, nullptr},
    {"b/badrle4ter.bmp", status::kOk, nullptr},
    {"b/badrlebis.bmp", status::kOk, nullptr},
    {"b/badrleter.bmp", status::kOk, nullptr},
    {"b/badwidth.bmp", status::kDamaged, nullptr, kEight, "negative width"},
    {"b/pal8badindex.bmp", status::kOk, nullptr},
    {"b/reallybig.bmp", status::kDamaged, nullptr, kEight, "beyond the size limits"},
    {"b/rgb16-880.bmp", status::kOk, "rgb16-880.png", {8, 8, 0, 0}},
    {"b/rletopdown.bmp", status::kOk, "pal8.png", kEight, "run-length rows always go bottom-up",
     View::UpsideDown},
    {"b/shortfile.bmp", status::kOk, nullptr, kEight, "partial image, see its own test"},
};

// FNV-1a over the size and the Bgra8 pixels of every file that decodes. Run
// with VT_PRINT_BMP_HASHES=1 to print the table after a deliberate change.
const std::map<std::string, uint64_t> kHashes = {
    {"g/pal1.bmp", 0xab3df70746f7fc5aull},
    {"g/pal1bg.bmp", 0x95bc08287e4a461aull},
    {"g/pal1wb.bmp", 0xab3df70746f7fc5aull},
    {"g/pal4.bmp", 0x7f43144b311cc23aull},
    {"g/pal4gs.bmp", 0x47718c2e9fd87ff1ull},
    {"g/pal4rle.bmp", 0x7f43144b311cc23aull},
    {"g/pal8-0.bmp", 0x3482a22bbc5db00full},
    {"g/pal8.bmp", 0x3482a22bbc5db00full},
    {"g/pal8gs.bmp", 0x88920b7d1844d560ull},
    {"g/pal8nonsquare.bmp", 0x8886db45ce3a4cfbull},
    {"g/pal8os2.bmp", 0x3482a22bbc5db00full},
    {"g/pal8rle.bmp", 0x3482a22bbc5db00full},
    {"g/pal8topdown.bmp", 0x3482a22bbc5db00full},
    {"g/pal8v4.bmp", 0x3482a22bbc5db00full},
    {"g/pal8v5.bmp", 0x3482a22bbc5db00full},
    {"g/pal8w124.bmp", 0x6d143af41c90cf7cull},
    {"g/pal8w125.bmp", 0xf4c676ab48cb6820ull},
    {"g/pal8w126.bmp", 0x5f60826de9d628c4ull},
    {"g/rgb16-565.bmp", 0xa87453589d7e369eull},
    {"g/rgb16-565pal.bmp", 0xa87453589d7e369eull},
    {"g/rgb16.bmp", 0x58ce816b395ca4aaull},
    {"g/rgb16bfdef.bmp", 0x58ce816b395ca4aaull},
    {"g/rgb24.bmp", 0xb9d507d3f8197034ull},
    {"g/rgb24pal.bmp", 0xb9d507d3f8197034ull},
    {"g/rgb32.bmp", 0xb9d507d3f8197034ull},
    {"g/rgb32bf.bmp", 0xb9d507d3f8197034ull},
    {"g/rgb32bfdef.bmp", 0xb9d507d3f8197034ull},
    {"q/pal1p1.bmp", 0x71ee5ca4bc66dedaull},
    {"q/pal4rlecut.bmp", 0xa7dbf697683a511aull},
    {"q/pal4rletrns.bmp", 0xc953d3764f43294aull},
    {"q/pal8offs.bmp", 0x3482a22bbc5db00full},
    {"q/pal8os2-hs.bmp", 0x3482a22bbc5db00full},
    {"q/pal8os2-sz.bmp", 0x3482a22bbc5db00full},
    {"q/pal8os2sp.bmp", 0x3482a22bbc5db00full},
    {"q/pal8os2v2-40sz.bmp", 0x3482a22bbc5db00full},
    {"q/pal8oversizepal.bmp", 0x3482a22bbc5db00full},
    {"q/pal8rlecut.bmp", 0x5d9c0a0778761985ull},
    {"q/pal8rletrns.bmp", 0x4e8befa4627bba8bull},
    {"q/rgb16-231.bmp", 0xb8e00263e0f6a2faull},
    {"q/rgb16-3103.bmp", 0xea17ba23c7afaa33ull},
    {"q/rgb16faketrns.bmp", 0x58ce816b395ca4aaull},
    {"q/rgb24largepal.bmp", 0xb9d507d3f8197034ull},
    {"q/rgb24lprof.bmp", 0xb9d507d3f8197034ull},
    {"q/rgb24prof.bmp", 0xb9d507d3f8197034ull},
    {"q/rgb24prof2.bmp", 0x8f4eb78d297ba7faull},
    {"q/rgb32-111110.bmp", 0xc3a2ff1a784864b2ull},
    {"q/rgb32-7187.bmp", 0x503f74d89c4f2e91ull},
    {"q/rgb32-xbgr.bmp", 0xb9d507d3f8197034ull},
    {"q/rgb32fakealpha.bmp", 0x741225ab99ec7a38ull},
    {"q/rgb32h52.bmp", 0xb9d507d3f8197034ull},
    {"q/rgba16-1924.bmp", 0x84130fc72ed5df12ull},
    {"q/rgba16-4444.bmp", 0x70ab869416cea90aull},
    {"q/rgba16-5551.bmp", 0xb41714aa26bc965aull},
    {"q/rgba32-1.bmp", 0xc82a198462a80e56ull},
    {"q/rgba32-1010102.bmp", 0xeafc7a512d5080a8ull},
    {"q/rgba32-2.bmp", 0xc82a198462a80e56ull},
    {"q/rgba32-61754.bmp", 0x6359ed5fd5849246ull},
    {"q/rgba32-81284.bmp", 0x936e3872a6a316bbull},
    {"q/rgba32h56.bmp", 0xc82a198462a80e56ull},
    {"x/ba-bm.bmp", 0x3482a22bbc5db00full},
    {"b/badbitssize.bmp", 0xab3df70746f7fc5aull},
    {"b/baddens1.bmp", 0xab3df70746f7fc5aull},
    {"b/baddens2.bmp", 0xab3df70746f7fc5aull},
    {"b/badfilesize.bmp", 0xab3df70746f7fc5aull},
    {"b/badpalettesize.bmp", 0x3482a22bbc5db00full},
    {"b/badrle.bmp", 0x6750dc3cd8a599dcull},
    {"b/badrle4.bmp", 0x609115c895e4a27cull},
    {"b/badrle4bis.bmp", 0xa9362518391076b1ull},
    {"b/badrle4ter.bmp", 0x7f6f08b00d805a29ull},
    {"b/badrlebis.bmp", 0x9621eeb4beae6a50ull},
    {"b/badrleter.bmp", 0xf30f6b77384971d5ull},
    {"b/pal8badindex.bmp", 0x0eb178bf5c2899e8ull},
    {"b/rgb16-880.bmp", 0x4dec7fee483930edull},
    {"b/rletopdown.bmp", 0xabfad8368a178873ull},
    {"b/shortfile.bmp", 0x964453c313b5f52full},
};

std::string SuitePath(const std::string& relative) {
  return test::CorpusPath("bmpsuite/" + relative);
}

const FormatRegistry& Registry() {
  static const FormatRegistry* r = [] {
    auto* reg = new FormatRegistry();
    RegisterBuiltinFormats(*reg);
    return reg;
  }();
  return *r;
}

uint64_t HashPixels(ImageBuffer* image) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](uint8_t b) { h = (h ^ b) * 0x100000001b3ull; };
  for (uint32_t v : {image->Width(), image->Height()})
    for (int i = 0; i < 4; ++i) mix(static_cast<uint8_t>(v >> (8 * i)));
  for (uint32_t y = 0; y < image->Height(); ++y) {
    const uint8_t* row = image->Row(y);
    for (uint32_t i = 0; i < image->Width() * 4; ++i) mix(row[i]);
  }
  return h;
}

// What a channel of `depth` bits must decode to, from the rendering's sample.
// Returns the tolerance through *slack.
uint32_t ExpectedChannel(uint32_t refSample, uint32_t refBits, uint32_t depth, bool isAlpha,
                         uint32_t* slack) {
  *slack = 0;
  if (depth == 0) return isAlpha ? 255 : 0;
  const uint64_t refMax = (uint64_t{1} << refBits) - 1;
  const uint64_t fieldMax = (uint64_t{1} << depth) - 1;
  const uint64_t v = (refSample * fieldMax + refMax / 2) / refMax;
  if (depth > refBits) *slack = 1;
  return static_cast<uint32_t>(depth <= 8 ? v << (8 - depth) : v >> (depth - 8));
}

// Compares a Bgra8 image with a rendering; reports the first few differences.
// The colour of a pixel that is fully transparent in both is not compared:
// renderings are free to clear it.
void ExpectMatches(ImageBuffer* image, const test::PngImage& ref, const Depths& d, View view,
                   const std::string& what) {
  ASSERT_EQ(image->Width(), ref.width) << what;
  ASSERT_EQ(image->Height(), ref.height) << what;
  const uint32_t depths[4] = {d.red, d.green, d.blue, d.alpha};
  int reported = 0;
  int mismatches = 0;
  for (uint32_t y = 0; y < ref.height; ++y) {
    const uint8_t* row = image->Row(y);
    for (uint32_t x = 0; x < ref.width; ++x) {
      const uint8_t* p = row + 4 * x;
      const uint32_t ours[4] = {p[2], p[1], p[0], p[3]};
      const uint16_t* r =
          ref.Pixel(x, view == View::UpsideDown ? ref.height - 1 - y : y);
      uint16_t rgba[4] = {r[0], r[1], r[2], r[3]};
      if (view == View::SwapRedGreen) std::swap(rgba[0], rgba[1]);
      if (ours[3] == 0 && rgba[3] == 0) continue;
      for (int c = 0; c < 4; ++c) {
        uint32_t slack = 0;
        const uint32_t want = ExpectedChannel(rgba[c], ref.sampleBits, depths[c], c == 3, &slack);
        const uint32_t diff = ours[c] > want ? ours[c] - want : want - ours[c];
        if (diff > slack) {
          ++mismatches;
          if (reported++ < 5) {
            ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") channel " << "RGBA"[c]
                          << " is " << ours[c] << ", expected " << want;
          }
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << what;
}

class BmpSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::FileExists(SuitePath("ref/MAP.txt")))
      GTEST_SKIP() << "bmpsuite corpus not present";
  }
};

TEST_F(BmpSuite, TableCoversEveryFile) {
  std::map<std::string, bool> known;
  for (const Case& c : kCases) known[c.file] = true;
  int files = 0;
  for (const char* folder : {"g", "q", "b", "x"}) {
    for (const auto& e : std::filesystem::directory_iterator(SuitePath(folder))) {
      if (e.path().extension() != ".bmp") continue;
      ++files;
      const std::string rel = std::string(folder) + "/" + e.path().filename().string();
      EXPECT_TRUE(known.count(rel)) << rel << " has no row in the table";
    }
  }
  EXPECT_EQ(files, static_cast<int>(std::size(kCases)));
}

TEST_F(BmpSuite, EveryFileDecodesAsExpected) {
  const bool print = std::getenv("VT_PRINT_BMP_HASHES") != nullptr;
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.why);
    RefPtr<ImageBuffer> image;
    const Status s = LoadImageFile(Registry(), test::U16(SuitePath(c.file)), false, false, &image);
    EXPECT_EQ(s, c.status) << std::hex << "status 0x" << static_cast<uint32_t>(s);
    if (s == kHeaderSizeRejected) {
      EXPECT_EQ(ProbeBmp(*MakeMemorySource(u"x.bmp", test::ReadFileBytes(SuitePath(c.file)))),
                status::kUnsupportedSubformat);
    }
    if (Failed(s) || s != c.status) continue;
    ASSERT_TRUE(image);
    RefPtr<ImageBuffer> bgra = Convert(image.get(), PixelFormat::Bgra8, false, false);
    ASSERT_TRUE(bgra);

    const uint64_t hash = HashPixels(bgra.get());
    if (print) std::printf("    {\"%s\", 0x%016llxull},\n", c.file, static_cast<unsigned long long>(hash));
    auto it = kHashes.find(c.file);
    if (it == kHashes.end()) {
      ADD_FAILURE() << "no pixel hash recorded";
    } else {
      EXPECT_EQ(it->second, hash) << "decoded pixels changed";
    }

    if (!c.reference) continue;
    test::PngImage ref;
    std::string error;
    ASSERT_TRUE(test::DecodePng(test::ReadFileBytes(SuitePath(std::string("ref/") + c.reference)),
                                &ref, &error))
        << c.reference << ": " << error;
    ExpectMatches(bgra.get(), ref, c.depths, c.view, c.file);
  }
}

// The suite's properties of interest: the stored resolution, the compression.
TEST_F(BmpSuite, PropertiesFromRealFiles) {
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadImageFile(Registry(), test::U16(SuitePath("g/pal8rle.bmp")), false, false, &image),
            status::kOk);
  const std::u16string* compression = image->Properties().Get(PropertyId::Compression);
  ASSERT_TRUE(compression);
  EXPECT_EQ(*compression, u"RLE");
  const std::u16string* density = image->Properties().Get(PropertyId::PixelDensity);
  ASSERT_TRUE(density);
  EXPECT_EQ(*density, u"2835 x 2835 ppm");

  // The 12-byte header has no resolution fields.
  ASSERT_EQ(LoadImageFile(Registry(), test::U16(SuitePath("g/pal8os2.bmp")), false, false, &image),
            status::kOk);
  EXPECT_FALSE(image->Properties().Has(PropertyId::PixelDensity));
  const std::u16string* none = image->Properties().Get(PropertyId::Compression);
  ASSERT_TRUE(none);
  EXPECT_EQ(*none, u"None");
}

// shortfile.bmp is pal1.bmp cut off in the middle of its pixel data: the rows
// that arrived match the rendering and every pixel after them is index 0.
TEST_F(BmpSuite, TruncatedFileKeepsTheRowsThatArrived) {
  const std::string bytes = test::ReadFileBytes(SuitePath("b/shortfile.bmp"));
  RefPtr<ImageReader> reader;
  ASSERT_EQ(Registry().OpenReader(MakeMemorySource(u"shortfile.bmp", bytes).get(), &reader),
            status::kOk);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, false, false), status::kOk);
  ASSERT_EQ(reader->DecodeInto(image.get(), false, nullptr, nullptr), status::kOk);
  ASSERT_EQ(image->Format(), PixelFormat::Indexed8);

  test::PngImage ref;
  std::string error;
  ASSERT_TRUE(test::DecodePng(test::ReadFileBytes(SuitePath("ref/pal1.png")), &ref, &error));
  ASSERT_EQ(ref.width, image->Width());
  ASSERT_EQ(ref.height, image->Height());

  // 62 bytes of headers, rows of 16 bytes stored bottom-up.
  const size_t dataBytes = bytes.size() - 62;
  const uint32_t wholeRows = static_cast<uint32_t>(dataBytes / 16);
  const uint32_t partPixels = static_cast<uint32_t>(dataBytes % 16 * 8);
  ASSERT_GT(wholeRows, 0u);
  const uint32_t* palette = image->Palette();
  int arrived = 0;
  for (uint32_t y = 0; y < image->Height(); ++y) {
    const uint32_t stored = image->Height() - 1 - y;
    for (uint32_t x = 0; x < image->Width(); ++x) {
      const uint8_t index = image->Row(y)[x];
      const bool hasData = stored < wholeRows || (stored == wholeRows && x < partPixels);
      if (!hasData) {
        ASSERT_EQ(index, 0) << x << ", " << y;
        continue;
      }
      ++arrived;
      const uint32_t bgra = palette[index];
      const uint16_t* r = ref.Pixel(x, y);
      ASSERT_EQ(bgra & 0xFF, r[2]) << x << ", " << y;
      ASSERT_EQ(bgra >> 8 & 0xFF, r[1]) << x << ", " << y;
      ASSERT_EQ(bgra >> 16 & 0xFF, r[0]) << x << ", " << y;
    }
  }
  EXPECT_EQ(arrived, static_cast<int>(wholeRows * image->Width() + partPixels));
}

}  // namespace
}  // namespace vt
