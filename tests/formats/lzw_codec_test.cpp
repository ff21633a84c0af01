#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "formats/lzw/lzw.h"
#include "support/test_support.h"

namespace vt {
namespace {

std::vector<uint8_t> Masked(std::vector<uint8_t> v, int minimum) {
  for (uint8_t& b : v) b &= static_cast<uint8_t>((1u << minimum) - 1);
  return v;
}

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& in, int minimum, LzwStop* stop) {
  std::vector<uint8_t> coded = LzwEncodeBytes(in, minimum);
  std::vector<uint8_t> out(in.size());
  LzwDecodeResult r = LzwDecode(out, coded);
  *stop = r.stop;
  out.resize(r.written);
  return out;
}

// Walks the sub-block chain and checks its framing.
void ExpectWellFramed(const std::vector<uint8_t>& coded) {
  ASSERT_GE(coded.size(), 2u);
  size_t pos = 1;
  while (pos < coded.size() && coded[pos] != 0) pos += 1 + coded[pos];
  EXPECT_EQ(pos + 1, coded.size()) << "a zero block must end the stream exactly";
}

TEST(LzwCodec, RoundTripsRandomDataAtEveryMinimumCodeSize) {
  for (int minimum = 2; minimum <= 8; ++minimum) {
    for (size_t size : {1u, 2u, 3u, 254u, 255u, 256u, 4093u, 70000u}) {
      auto in = Masked(test::RandomBytes(size, static_cast<uint32_t>(size * 31 + minimum)), minimum);
      LzwStop stop;
      EXPECT_EQ(RoundTrip(in, minimum, &stop), in) << "minimum " << minimum << " size " << size;
      EXPECT_EQ(stop, LzwStop::kEndCode);
      ExpectWellFramed(LzwEncodeBytes(in, minimum));
    }
  }
}

TEST(LzwCodec, RoundTripsRunsAndStructuredData) {
  // Long runs exercise the code-equals-next case and fill the table through
  // ever longer strings; mixed runs cross the 4096-entry reset many times.
  std::vector<std::vector<uint8_t>> inputs;
  inputs.push_back(std::vector<uint8_t>(100000, 7));
  std::vector<uint8_t> mixed;
  std::mt19937 rng(5);
  while (mixed.size() < 300000) mixed.insert(mixed.end(), rng() % 40 + 1, uint8_t(rng() % 256));
  inputs.push_back(mixed);
  std::vector<uint8_t> ramp;
  for (uint32_t i = 0; i < 200000; ++i) ramp.push_back(uint8_t(i * i >> 5));
  inputs.push_back(ramp);
  for (const auto& in : inputs) {
    LzwStop stop;
    EXPECT_EQ(RoundTrip(in, 8, &stop), in);
    EXPECT_EQ(stop, LzwStop::kEndCode);
  }
  // A single run codes to far fewer bytes than it holds.
  EXPECT_LT(LzwEncodeBytes(inputs[0], 8).size(), 1000u);
}

TEST(LzwCodec, EmptyInputGivesClearAndEndOnly) {
  std::vector<uint8_t> coded = LzwEncodeBytes({}, 8);
  // 9-bit clear (256) and end (257) codes: 18 bits in 3 bytes, one block.
  EXPECT_EQ(coded, (std::vector<uint8_t>{8, 3, 0x00, 0x03, 0x02, 0}));
  std::vector<uint8_t> out(4, 0xAA);
  LzwDecodeResult r = LzwDecode(out, coded);
  EXPECT_EQ(r.written, 0u);
  EXPECT_EQ(r.stop, LzwStop::kEndCode);
  EXPECT_EQ(out[0], 0xAA);
}

TEST(LzwCodec, EncoderClampsMinimumAndMasksPixels) {
  std::vector<uint8_t> in = {0, 1, 2, 3, 0xFF, 0x10};
  std::vector<uint8_t> coded = LzwEncodeBytes(in, 1);
  EXPECT_EQ(coded[0], 2);
  std::vector<uint8_t> out(in.size());
  ASSERT_EQ(LzwDecode(out, coded).written, in.size());
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 1, 2, 3, 3, 0}));
  EXPECT_EQ(LzwEncodeBytes(in, 12)[0], 8);
}

TEST(LzwCodec, EncoderFollowsTheRowStride) {
  const uint32_t width = 5, height = 4;
  const size_t stride = 9;
  std::vector<uint8_t> plane = test::RandomBytes(stride * (height - 1) + width, 3);
  std::vector<uint8_t> coded;
  size_t n = LzwEncode(&coded, plane, width, height, stride, 8);
  EXPECT_EQ(n, coded.size());
  std::vector<uint8_t> out(width * height);
  ASSERT_EQ(LzwDecode(out, coded).written, out.size());
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) EXPECT_EQ(out[y * width + x], plane[y * stride + x]);
  // One byte too few for the last row, or a stride below the width: nothing is written.
  std::vector<uint8_t> untouched;
  plane.pop_back();
  EXPECT_EQ(LzwEncode(&untouched, plane, width, height, stride, 8), 0u);
  EXPECT_EQ(LzwEncode(&untouched, plane, width, height, 4, 8), 0u);
  EXPECT_TRUE(untouched.empty());
}

TEST(LzwCodec, DecoderNeverWritesPastItsOutput) {
  auto in = test::RandomBytes(5000, 9);
  in.insert(in.end(), 3000, 42);  // long strings near the end
  std::vector<uint8_t> coded = LzwEncodeBytes(in, 8);
  for (size_t size : {0u, 1u, 100u, 4999u, 5001u, 7999u}) {
    std::vector<uint8_t> out(size + 16, 0xEE);
    LzwDecodeResult r = LzwDecode(std::span(out).first(size), coded);
    EXPECT_EQ(r.written, size);
    EXPECT_EQ(r.stop, LzwStop::kOutputFull);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + size, in.begin()));
    for (size_t i = size; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "wrote at " << i;
  }
}

TEST(LzwCodec, DecoderStopsAtTruncationZeroBlocksAndBadCodes) {
  auto in = test::RandomBytes(3000, 11);
  std::vector<uint8_t> coded = LzwEncodeBytes(in, 8);
  std::vector<uint8_t> out(in.size());

  // Every prefix decodes to a prefix of the input.
  for (size_t cut = 0; cut < coded.size(); cut += 37) {
    LzwDecodeResult r = LzwDecode(out, std::span(coded).first(cut));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + r.written, in.begin())) << cut;
    if (cut < coded.size() - 2) {
      EXPECT_LT(r.written, in.size()) << cut;
    }
  }
  EXPECT_EQ(LzwDecode(out, std::span(coded).first(0)).stop, LzwStop::kEndOfData);

  // A zero-length block after the first block ends the image there.
  std::vector<uint8_t> early(coded.begin(), coded.begin() + 1 + 1 + 255);
  early.push_back(0);
  LzwDecodeResult r = LzwDecode(out, early);
  EXPECT_EQ(r.stop, LzwStop::kZeroBlock);
  EXPECT_GT(r.written, 200u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + r.written, in.begin()));

  // Minimum 2: clear(4), then code 7 while the next free code is 6.
  const std::vector<uint8_t> badCode = {2, 1, 0x3C, 0};
  EXPECT_EQ(LzwDecode(out, badCode).stop, LzwStop::kBadCode);
  // Minimum 2: the first code after a clear must be a literal; 6 is not.
  const std::vector<uint8_t> notLiteral = {2, 1, 0x34, 0};
  EXPECT_EQ(LzwDecode(out, notLiteral).stop, LzwStop::kBadCode);
  // Minimum 9: clear(512), then the 10-bit literal 300, which no byte can hold.
  const std::vector<uint8_t> wideLiteral = {9, 3, 0x00, 0xB2, 0x04, 0};
  LzwDecodeResult wide = LzwDecode(out, wideLiteral);
  EXPECT_EQ(wide.stop, LzwStop::kBadCode);
  EXPECT_EQ(wide.written, 0u);
  for (uint8_t minimum : {0, 12, 255})
    EXPECT_EQ(LzwDecode(out, std::vector<uint8_t>{minimum, 1, 0, 0}).stop,
              LzwStop::kBadMinimumCodeSize);
}

TEST(LzwCodec, DecoderReadsBlocksOfAnyLength) {
  // The same code bytes cut into one-byte blocks decode alike: readers must not
  // assume 255-byte blocks.
  auto in = test::RandomBytes(2000, 13);
  std::vector<uint8_t> coded = LzwEncodeBytes(in, 8);
  std::vector<uint8_t> bytes;
  for (size_t pos = 1; coded[pos] != 0; pos += 1 + coded[pos])
    bytes.insert(bytes.end(), coded.begin() + pos + 1, coded.begin() + pos + 1 + coded[pos]);
  std::vector<uint8_t> reblocked = {8};
  for (uint8_t b : bytes) reblocked.insert(reblocked.end(), {1, b});
  reblocked.push_back(0);
  std::vector<uint8_t> out(in.size());
  LzwDecodeResult r = LzwDecode(out, reblocked);
  EXPECT_EQ(r.stop, LzwStop::kEndCode);
  EXPECT_EQ(out, in);
}

}  // namespace
}  // namespace vt
