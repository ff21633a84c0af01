// The WebP reader: the public test vectors against their expected decoder
// output, files written by cwebp, img2webp and gif2webp against dwebp (and
// webpmux for single frames), and containers assembled here around real
// bitstreams for what no encoder writes (cut RIFF sizes, background colours
// without alpha, zero durations, mixed frame kinds, truncation).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/webp/webp_reader.h"
#include "hdr_iff_webp_util.h"

namespace vt {
namespace {

using test::Loaded;

void Le32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
void Le24(std::string& s, uint32_t v) {
  for (int i = 0; i < 3; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
std::string Chunk(const std::string& id, const std::string& data) {
  std::string s = id;
  Le32(s, static_cast<uint32_t>(data.size()));
  s += data;
  if (data.size() & 1) s.push_back('\0');
  return s;
}
std::string Riff(const std::string& chunks) {
  std::string s = "RIFF";
  Le32(s, static_cast<uint32_t>(chunks.size() + 4));
  return s + "WEBP" + chunks;
}
// The payload of the first chunk with this id in a RIFF file.
std::string Payload(const std::string& file, const std::string& id) {
  size_t p = 12;
  while (p + 8 <= file.size()) {
    const uint32_t size = static_cast<uint8_t>(file[p + 4]) | static_cast<uint8_t>(file[p + 5]) << 8 |
                          static_cast<uint8_t>(file[p + 6]) << 16 |
                          static_cast<uint32_t>(static_cast<uint8_t>(file[p + 7])) << 24;
    if (file.compare(p, 4, id) == 0) return file.substr(p + 8, size);
    p += 8 + size + (size & 1);
  }
  return {};
}
std::string Vp8x(uint8_t flags, uint32_t w, uint32_t h) {
  std::string s(1, static_cast<char>(flags));
  s += std::string(3, '\0');
  Le24(s, w - 1);
  Le24(s, h - 1);
  return Chunk("VP8X", s);
}
std::string Anmf(uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t ms, uint8_t bits,
                 const std::string& frameChunks) {
  std::string s;
  Le24(s, x / 2);
  Le24(s, y / 2);
  Le24(s, w - 1);
  Le24(s, h - 1);
  Le24(s, ms);
  s.push_back(static_cast<char>(bits));
  return Chunk("ANMF", s + frameChunks);
}

Loaded Load(const std::string& bytes, bool all = false) {
  return test::LoadBytes(bytes, u"t.webp", all);
}

// Our decoding as dwebp writes it with -pam.
std::string AsPam(ImageBuffer* image) {
  std::string s = "P7\nWIDTH " + std::to_string(image->Width()) + "\nHEIGHT " +
                  std::to_string(image->Height()) + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (uint32_t y = 0; y < image->Height(); ++y) {
    for (uint32_t x = 0; x < image->Width(); ++x) {
      const uint8_t* p = test::Bgra(image, x, y);
      s += static_cast<char>(p[2]);
      s += static_cast<char>(p[1]);
      s += static_cast<char>(p[0]);
      s += static_cast<char>(p[3]);
    }
  }
  return s;
}

bool SamePixels(ImageBuffer* image, const test::Pnm& ref) {
  if (image->Width() != ref.width || image->Height() != ref.height || ref.depth != 4) return false;
  for (uint32_t y = 0; y < ref.height; ++y)
    for (uint32_t x = 0; x < ref.width; ++x) {
      const uint8_t* p = test::Bgra(image, x, y);
      if (p[2] != ref.At(x, y, 0) || p[1] != ref.At(x, y, 1) || p[0] != ref.At(x, y, 2) ||
          p[3] != ref.At(x, y, 3))
        return false;
    }
  return true;
}

TEST(WebpProbe, SignatureAndFirstChunk) {
  auto probe = [](const std::string& s) { return ProbeWebp(*MakeMemorySource(u"p.webp", s)); };
  const std::string vp8l = Riff(Chunk("VP8L", std::string(12, '\0')));
  EXPECT_EQ(probe(vp8l), status::kOk);
  EXPECT_EQ(probe(Riff(Chunk("VP8 ", std::string(12, '\0')))), status::kOk);
  EXPECT_EQ(probe(Riff(Vp8x(0, 1, 1))), status::kOk);
  EXPECT_EQ(probe(Riff(Chunk("ICCP", std::string(12, '\0')))), status::kDamaged);
  EXPECT_EQ(probe(vp8l.substr(0, 19)), status::kUnknownFormat);
  std::string avi = vp8l;
  avi.replace(8, 4, "AVI ");
  EXPECT_EQ(probe(avi), status::kUnknownFormat);
}

// The libwebp test vectors: md5 of the expected decoder output as PAM where
// listed; the lossless vectors against the pictures they must reproduce.
TEST(WebpCorpus, TestVectorsMatchExpectedOutput) {
  const std::string dir = test::CorpusPath("webp/");
  if (!test::FileExists(dir + "libwebp_tests.md5")) GTEST_SKIP() << "no corpus";
  if (!test::HaveTool("/usr/bin/md5sum")) GTEST_SKIP() << "md5sum missing";
  std::map<std::string, std::string> md5;
  std::istringstream list(test::ReadFileBytes(dir + "libwebp_tests.md5"));
  for (std::string sum, name; list >> sum >> name;) md5[name] = sum;
  test::Pnm grid, peak;
  ASSERT_TRUE(test::ReadPnm(test::ReadFileBytes(dir + "grid.pam"), &grid));
  ASSERT_TRUE(test::ReadPnm(test::ReadFileBytes(dir + "peak.pam"), &peak));
  test::TempDir tmp;
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".webp") continue;
    SCOPED_TRACE(name);
    Loaded d = test::LoadPath(entry.path().string());
    if (d.status == status::kMissingDll) GTEST_SKIP() << "libwebp.dll is not beside the tests";
    ASSERT_EQ(d.status, status::kOk);
    if (auto it = md5.find(name + ".pam"); it != md5.end()) {
      const std::string pam = tmp.Write("out.pam", AsPam(d.image.get()));
      FILE* p = popen(("/usr/bin/md5sum " + pam).c_str(), "r");
      ASSERT_TRUE(p);
      char sum[33] = {};
      ASSERT_EQ(fread(sum, 1, 32, p), 32u);
      pclose(p);
      EXPECT_EQ(std::string(sum), it->second);
      ++checked;
    } else if (name.rfind("lossless_vec_1_", 0) == 0) {
      EXPECT_TRUE(SamePixels(d.image.get(), grid));
      ++checked;
    } else if (name.rfind("lossless_vec_2_", 0) == 0) {
      EXPECT_TRUE(SamePixels(d.image.get(), peak));
      ++checked;
    }
  }
  EXPECT_GE(checked, 125);
}

class WebpTools : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* t : {"/usr/bin/cwebp", "/usr/bin/dwebp", "/usr/bin/img2webp",
                          "/usr/bin/gif2webp", "/usr/bin/webpmux", "/usr/bin/convert"})
      if (!test::HaveTool(t)) GTEST_SKIP() << t << " not installed";
    d_ = dir_.Path() + "/";
    // A picture with soft alpha, and two frames for animations.
    ASSERT_TRUE(test::Run("/usr/bin/convert -size 45x31 plasma:fractal -seed 3 \\( -size 45x31 "
                          "radial-gradient: \\) -alpha off -compose copy_opacity -composite " +
                          d_ + "a.png"));
    ASSERT_TRUE(test::Run("/usr/bin/convert -size 45x31 gradient:navy-orange " + d_ + "b.png"));
  }
  // dwebp's rendering of a still file.
  test::Pnm Dwebp(const std::string& webp) {
    test::Pnm ref;
    EXPECT_TRUE(test::Run("/usr/bin/dwebp " + webp + " -pam -o " + d_ + "ref.pam"));
    EXPECT_TRUE(test::ReadPnm(test::ReadFileBytes(d_ + "ref.pam"), &ref));
    return ref;
  }
  test::TempDir dir_;
  std::string d_;
};

TEST_F(WebpTools, StillFilesMatchDwebp) {
  struct Case {
    const char* options;
    const char* compression;
    uint32_t depth;
  };
  const Case cases[] = {
      {"-q 70", "Lossy VP8", 32},  // lossy with an ALPH chunk
      {"-q 70 -noalpha", "Lossy VP8", 24},
      {"-lossless", "Lossless VP8", 32},
      {"-q 50 -alpha_method 0 -alpha_filter best", "Lossy VP8", 32},
      {"-q 80 -metadata all", "Lossy VP8", 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string webp = d_ + "s.webp";
    ASSERT_TRUE(test::Run(std::string("/usr/bin/cwebp -quiet ") + c.options + " " + d_ + "a.png -o " + webp));
    Loaded d = test::LoadPath(webp);
    ASSERT_EQ(d.status, status::kOk);
    EXPECT_EQ(*d.reader->Properties().Get(PropertyId::Compression), test::U16(c.compression));
    EXPECT_EQ(d.reader->BitDepth(), c.depth);
    EXPECT_EQ(d.reader->Alpha(), c.depth == 32 ? AlphaMode::Straight : AlphaMode::None);
    EXPECT_TRUE(SamePixels(d.image.get(), Dwebp(webp)));
  }
}

TEST_F(WebpTools, AnimationsMatchTheirFrames) {
  // img2webp: a lossy frame, a lossless one, a lossy one; each frame's
  // picture is checked against webpmux's extraction of it, decoded by dwebp.
  const std::string anim = d_ + "anim.webp";
  ASSERT_TRUE(test::Run("/usr/bin/img2webp -loop 3 -d 120 -lossy " + d_ + "a.png -d 1 -lossless " +
                        d_ + "b.png -d 40 -lossy " + d_ + "a.png -o " + anim));
  Loaded d = test::LoadPath(anim, true);
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(*d.reader->Properties().Get(PropertyId::Compression), u"Mixed VP8");
  ASSERT_EQ(d.image->ChainLength(), 3u);
  const int32_t delays[] = {120, 1, 40};
  int i = 0;
  for (ImageBuffer* f = d.image.get(); f; f = f->Next(), ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f->Frame().delay, delays[i]);
    EXPECT_EQ(f->Frame().canvasWidth, 45u);
    EXPECT_EQ(f->Frame().loop, 1);
    EXPECT_EQ(*f->Properties().Get(PropertyId::Compression), u"Mixed VP8");
    const std::string one = d_ + "frame.webp";
    ASSERT_TRUE(test::Run("/usr/bin/webpmux -get frame " + std::to_string(i + 1) + " " + anim +
                          " -o " + one));
    test::Pnm ref = Dwebp(one);
    // img2webp may store a frame as a smaller rectangle: compare it at its offset.
    Loaded single = test::LoadPath(one);
    ASSERT_EQ(single.status, status::kOk);
    EXPECT_EQ(f->Width(), ref.width);
    EXPECT_TRUE(SamePixels(f, ref));
  }

  // gif2webp from a three-frame GIF: offsets, disposal and blending survive.
  ASSERT_TRUE(test::Run("/usr/bin/convert -delay 7 -dispose background -size 20x10 xc:red "
                        "\\( -size 6x4 xc:blue -repage +4+2 \\) \\( -size 8x8 xc:lime -repage +10+2 \\) " +
                        d_ + "g.gif"));
  ASSERT_TRUE(test::Run("/usr/bin/gif2webp -quiet -mixed " + d_ + "g.gif -o " + d_ + "g.webp"));
  Loaded g = test::LoadPath(d_ + "g.webp", true);
  ASSERT_EQ(g.status, status::kOk);
  ASSERT_GE(g.image->ChainLength(), 2u);
  for (ImageBuffer* f = g.image.get(); f; f = f->Next()) {
    EXPECT_EQ(f->Frame().canvasWidth, 20u);
    EXPECT_EQ(f->Frame().canvasHeight, 10u);
    EXPECT_LE(f->Frame().x + f->Width(), 20u);
    EXPECT_LE(f->Frame().y + f->Height(), 10u);
    EXPECT_EQ(f->Frame().x % 2, 0u);
    EXPECT_EQ(f->Frame().delay, 70);
  }
}

TEST_F(WebpTools, AssembledContainers) {
  ASSERT_TRUE(test::Run("/usr/bin/cwebp -quiet -q 60 " + d_ + "a.png -o " + d_ + "lossy.webp"));
  ASSERT_TRUE(test::Run("/usr/bin/cwebp -quiet -lossless " + d_ + "b.png -o " + d_ + "ll.webp"));
  const std::string lossyFile = test::ReadFileBytes(d_ + "lossy.webp");
  const std::string vp8 = Payload(lossyFile, "VP8 ");
  const std::string alph = Payload(lossyFile, "ALPH");
  const std::string vp8l = Payload(test::ReadFileBytes(d_ + "ll.webp"), "VP8L");
  ASSERT_FALSE(vp8.empty());
  ASSERT_FALSE(alph.empty());
  ASSERT_FALSE(vp8l.empty());
  Loaded reference = test::LoadPath(d_ + "lossy.webp");
  ASSERT_EQ(reference.status, status::kOk);

  // A RIFF size beyond the end of the file is cut to the file.
  std::string big = Riff(Vp8x(0x10, 45, 31) + Chunk("ALPH", alph) + Chunk("VP8 ", vp8));
  big[4] = big[5] = big[6] = '\x7F';
  Loaded cut = Load(big);
  ASSERT_EQ(cut.status, status::kOk);
  EXPECT_EQ(0, std::memcmp(AsPam(cut.image.get()).data(), AsPam(reference.image.get()).data(),
                           AsPam(reference.image.get()).size()));
  // Without the VP8X alpha flag, ALPH does not count.
  Loaded noFlag = Load(Riff(Vp8x(0, 45, 31) + Chunk("ALPH", alph) + Chunk("VP8 ", vp8)));
  ASSERT_EQ(noFlag.status, status::kOk);
  EXPECT_EQ(noFlag.reader->BitDepth(), 24u);

  // An animation: ANIM with a background without alpha, a lossless frame, a
  // lossy frame with alpha at an offset with duration 0, disposal and no blending.
  std::string anim = Vp8x(0x12, 100, 80);
  std::string animChunk;
  Le32(animChunk, 0x00112233);  // alpha 0: the default background stays
  animChunk += std::string("\x01\x00", 2);
  anim += Chunk("ANIM", animChunk);
  anim += Anmf(0, 0, 45, 31, 250, 0, Chunk("VP8L", vp8l));
  anim += Anmf(10, 20, 45, 31, 0, 3, Chunk("ALPH", alph) + Chunk("VP8 ", vp8));
  Loaded a = Load(Riff(anim), true);
  ASSERT_EQ(a.status, status::kOk);
  EXPECT_EQ(*a.reader->Properties().Get(PropertyId::Compression), u"Mixed VP8");
  ASSERT_EQ(a.image->ChainLength(), 2u);
  const FrameDescription& f0 = a.image->Frame();
  EXPECT_EQ(f0.background, 0u);
  EXPECT_EQ(f0.loop, 0);  // a loop count of 1 plays once
  EXPECT_EQ(f0.canvasWidth, 100u);
  EXPECT_EQ(f0.delay, 250);
  EXPECT_EQ(f0.blend, 1);
  EXPECT_EQ(f0.disposal, 0);
  const FrameDescription& f1 = a.image->Next()->Frame();
  EXPECT_EQ(f1.x, 10u);
  EXPECT_EQ(f1.y, 20u);
  EXPECT_EQ(f1.delay, 0);
  EXPECT_EQ(f1.disposal, 1);
  EXPECT_EQ(f1.blend, 0);
  EXPECT_EQ(f1.canvasHeight, 80u);
  EXPECT_EQ(AsPam(a.image->Next()), AsPam(reference.image.get()));

  // A background with alpha is kept; a broken later frame ends the animation
  // before it; the first frame's own bitstream must be good.
  std::string animChunk2;
  Le32(animChunk2, 0x80112233);
  animChunk2 += std::string("\x00\x00", 2);
  std::string broken = Vp8x(0x02, 100, 80) + Chunk("ANIM", animChunk2) +
                       Anmf(0, 0, 45, 31, 10, 0, Chunk("VP8L", vp8l)) +
                       Anmf(0, 0, 45, 31, 10, 0, Chunk("VP8L", "\x2f\x00")) +
                       Anmf(0, 0, 45, 31, 10, 0, Chunk("VP8L", vp8l));
  Loaded b = Load(Riff(broken), true);
  ASSERT_EQ(b.status, status::kOk);
  EXPECT_EQ(b.image->ChainLength(), 1u);
  EXPECT_EQ(b.image->Frame().background, 0x80112233u);
  EXPECT_EQ(b.image->Frame().loop, 1);
  EXPECT_EQ(*b.reader->Properties().Get(PropertyId::Compression), u"Lossless VP8");
  EXPECT_EQ(Load(Riff(Chunk("VP8 ", vp8.substr(0, 9)))).status, status::kDamaged);
  EXPECT_EQ(Load(Riff(Chunk("VP8L", "\x2f\x01\x02\x03\x04\x05"))).status, status::kDamaged);
  // A bitstream whose header is good but whose data are not.
  std::string damaged = vp8l;
  for (size_t i = 5; i < damaged.size(); ++i) damaged[i] = static_cast<char>(0xFF);
  EXPECT_EQ(Load(Riff(Chunk("VP8L", damaged))).status, status::kDamaged);
}

TEST_F(WebpTools, EveryPrefixFailsOrGivesTheWholePicture) {
  ASSERT_TRUE(test::Run("/usr/bin/convert -size 9x7 plasma:fractal -seed 9 \\( -size 9x7 "
                        "radial-gradient: \\) -alpha off -compose copy_opacity -composite " +
                        d_ + "t.png"));
  ASSERT_TRUE(test::Run("/usr/bin/cwebp -quiet -q 60 -metadata all " + d_ + "t.png -o " + d_ + "t.webp"));
  const std::string whole = test::ReadFileBytes(d_ + "t.webp");
  Loaded full = Load(whole);
  ASSERT_EQ(full.status, status::kOk);
  const std::string want = AsPam(full.image.get());
  int decoded = 0;
  for (size_t n = 0; n < whole.size(); ++n) {
    Loaded part = Load(whole.substr(0, n));
    if (Failed(part.status)) continue;
    ASSERT_EQ(AsPam(part.image.get()), want) << "prefix " << n;
    ++decoded;
  }
  // Once the bitstream chunk is whole the picture is (metadata after it may be cut).
  const std::string vp8 = Payload(whole, "VP8 ");
  const size_t vp8End = whole.find("VP8 ") + 8 + vp8.size() + (vp8.size() & 1);
  EXPECT_EQ(decoded, static_cast<int>(whole.size() - vp8End));
}

}  // namespace
}  // namespace vt
