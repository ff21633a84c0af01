// The WebP reader's container handling, on containers assembled here around
// real bitstreams (from the fuzz corpus): what no encoder writes, such as cut
// RIFF sizes, backgrounds without alpha, zero durations, mixed frame kinds and
// broken later frames. The bitstreams themselves are checked against dwebp in
// the corpus table.
#include "formats/webp/webp_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::Le;

std::string Chunk(const std::string& id, const std::string& data) {
  return id + Le(data.size(), 4) + data + std::string(data.size() & 1, '\0');
}
std::string Riff(const std::string& chunks) {
  return "RIFF" + Le(chunks.size() + 4, 4) + "WEBP" + chunks;
}
std::string Vp8x(int flags, uint32_t w, uint32_t h) {
  return Chunk("VP8X", test::B({flags, 0, 0, 0}) + Le(w - 1, 3) + Le(h - 1, 3));
}
std::string Anmf(uint32_t x, uint32_t y, uint32_t ms, int bits, const std::string& frame) {
  return Chunk("ANMF", Le(x / 2, 3) + Le(y / 2, 3) + Le(8, 3) + Le(6, 3) + Le(ms, 3) +
                           test::B({bits}) + frame);
}
// The payload of the first chunk with this id.
std::string Payload(const std::string& file, const std::string& id) {
  for (size_t p = 12; p + 8 <= file.size();) {
    uint32_t size = 0;
    for (int k = 3; k >= 0; --k) size = size << 8 | static_cast<uint8_t>(file[p + 4 + k]);
    if (file.compare(p, 4, id) == 0) return file.substr(p + 8, size);
    p += 8 + size + (size & 1);
  }
  return {};
}

test::Loaded Load(const std::string& bytes) {
  return test::Load(bytes, u"t.webp", {.allFrames = true});
}
std::string Text(const test::Loaded& l, PropertyId id) {
  return test::U8(*l.reader->Properties().Get(id));
}

TEST(WebpReader, Containers) {
  auto probe = [](const std::string& s) { return ProbeWebp(*MakeMemorySource(u"p.webp", s)); };
  const std::string lossless = Riff(Chunk("VP8L", std::string(12, '\0')));
  EXPECT_EQ(probe(lossless), status::kOk);
  EXPECT_EQ(probe(Riff(Chunk("VP8 ", std::string(12, '\0')))), status::kOk);
  EXPECT_EQ(probe(Riff(Vp8x(0, 1, 1))), status::kOk);
  EXPECT_EQ(probe(Riff(Chunk("ICCP", std::string(12, '\0')))), status::kDamaged);
  EXPECT_EQ(probe(lossless.substr(0, 19)), status::kUnknownFormat);
  EXPECT_EQ(probe(lossless.substr(0, 8) + "AVI " + lossless.substr(12)), status::kUnknownFormat);

  const std::string dir = std::string(VT_SOURCE_DIR) + "/fuzz/corpus/webp/";
  const std::string lossy = test::ReadFileBytes(dir + "lossy-alpha.webp");
  const std::string vp8 = Payload(lossy, "VP8 "), alph = Payload(lossy, "ALPH");
  const std::string vp8l = Payload(test::ReadFileBytes(dir + "lossless.webp"), "VP8L");
  ASSERT_TRUE(!vp8.empty() && !alph.empty() && !vp8l.empty());
  test::Loaded reference = Load(lossy);
  if (reference.status == status::kMissingDll)
    GTEST_SKIP() << "libwebp.dll is not beside the tests";
  ASSERT_TRUE(reference.Ok());
  const std::vector<test::Canvas> want = test::Canvases(reference.image.get());

  // A RIFF size beyond the end of the file is cut to the file.
  std::string big = Riff(Vp8x(0x10, 9, 7) + Chunk("ALPH", alph) + Chunk("VP8 ", vp8));
  big.replace(4, 3, "\x7F\x7F\x7F");
  test::Loaded l = Load(big);
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(test::CanvasHash(test::Canvases(l.image.get()), ""), test::CanvasHash(want, ""));
  // Without the VP8X alpha flag, ALPH does not count.
  EXPECT_EQ(Load(Riff(Vp8x(0, 9, 7) + Chunk("ALPH", alph) + Chunk("VP8 ", vp8))).reader->BitDepth(),
            24u);

  // An animation: a background without alpha (so the default stays), a
  // lossless frame, then a lossy one with alpha at an offset, no duration,
  // disposal and no blending; a loop count of 1 plays once.
  l = Load(Riff(Vp8x(0x12, 100, 80) + Chunk("ANIM", Le(0x00112233, 4) + Le(1, 2)) +
                Anmf(0, 0, 250, 0, Chunk("VP8L", vp8l)) +
                Anmf(10, 20, 0, 3, Chunk("ALPH", alph) + Chunk("VP8 ", vp8))));
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(Text(l, PropertyId::Compression), "Mixed VP8");
  ASSERT_EQ(l.image->ChainLength(), 2u);
  const FrameDescription& f0 = l.image->Frame();
  const FrameDescription& f1 = l.image->Next()->Frame();
  EXPECT_EQ(f0.background, 0u);
  EXPECT_EQ(f0.loop, 0);
  EXPECT_EQ(f0.canvasWidth, 100u);
  EXPECT_EQ(f0.delay, 250);
  EXPECT_EQ(f0.blend, 1);
  EXPECT_EQ(f0.disposal, 0);
  EXPECT_EQ(f1.x, 10u);
  EXPECT_EQ(f1.y, 20u);
  EXPECT_EQ(f1.delay, 0);
  EXPECT_EQ(f1.disposal, 1);
  EXPECT_EQ(f1.blend, 0);
  EXPECT_EQ(f1.canvasHeight, 80u);
  l.image->Next()->Frame() = FrameDescription{};  // the frame alone, as in the file it came from
  EXPECT_EQ(test::CanvasHash(test::Canvases(l.image->Next()), ""), test::CanvasHash(want, ""));

  // A background with alpha is kept; a broken later frame ends the animation
  // before it; the first frame's own bitstream must be good.
  l = Load(Riff(Vp8x(0x02, 100, 80) + Chunk("ANIM", Le(0x80112233, 4) + Le(0, 2)) +
                Anmf(0, 0, 10, 0, Chunk("VP8L", vp8l)) +
                Anmf(0, 0, 10, 0, Chunk("VP8L", "\x2f\x00")) +
                Anmf(0, 0, 10, 0, Chunk("VP8L", vp8l))));
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.image->ChainLength(), 1u);
  EXPECT_EQ(l.image->Frame().background, 0x80112233u);
  EXPECT_EQ(l.image->Frame().loop, 1);
  EXPECT_EQ(Text(l, PropertyId::Compression), "Lossless VP8");
  std::string damaged = vp8l;
  for (size_t i = 5; i < damaged.size(); ++i) damaged[i] = '\xFF';
  for (const std::string& bad : {Chunk("VP8 ", vp8.substr(0, 9)),
                                 Chunk("VP8L", "\x2f\x01\x02\x03\x04\x05"), Chunk("VP8L", damaged)})
    EXPECT_EQ(Load(Riff(bad)).status, status::kDamaged);
}

}  // namespace
}  // namespace vt
