// LZW as GIF uses it (GIF89a specification, appendix F): variable-width codes
// from minimum + 1 up to 12 bits, a clear code and an end code above the
// literals, codes packed least significant bit first into length-prefixed blocks.
#include "formats/lzw/lzw.h"

#include <algorithm>
#include <array>

#include "base/byte_cursor.h"

namespace vt {

bool LzwDecoder::CodeReader::Read(int width, uint32_t* code, LzwStop* stop) {
  while (bitCount_ < width) {
    if (blockLeft_ == 0) {
      if (in_.AtEnd()) {
        *stop = LzwStop::kEndOfData;
        return false;
      }
      blockLeft_ = in_.U8();
      if (blockLeft_ == 0) {
        *stop = LzwStop::kZeroBlock;
        return false;
      }
      continue;
    }
    // A block longer than the data left is a truncated file: use what is there.
    if (in_.AtEnd()) {
      *stop = LzwStop::kEndOfData;
      return false;
    }
    bits_ |= uint32_t{in_.U8()} << bitCount_;
    bitCount_ += 8;
    --blockLeft_;
  }
  *code = bits_ & ((1u << width) - 1);
  bits_ >>= width;
  bitCount_ -= width;
  return true;
}

LzwDecoder::LzwDecoder(std::span<const uint8_t> data) : reader_(ByteCursor()) {
  ByteCursor in(data);
  const uint8_t minimum = in.U8();
  if (!in.Ok()) {
    ended_ = true;
    stop_ = LzwStop::kEndOfData;
    return;
  }
  // GIF itself asks for 2..8. Some encoders write 1 for two-colour images, and
  // some write up to 11 (codes start at 12 bits) while using only small
  // literals; both decode fine. A literal above 255 cannot be a palette index
  // and stops decoding as a bad code.
  if (minimum < 1 || minimum > kLzwMaxCodeBits - 1) {
    ended_ = true;
    stop_ = LzwStop::kBadMinimumCodeSize;
    return;
  }
  minimum_ = minimum;
  clearCode_ = 1u << minimum;
  for (uint32_t i = 0; i < clearCode_; ++i) {
    prefix_[i] = 0;
    suffix_[i] = static_cast<uint8_t>(i);
    first_[i] = static_cast<uint8_t>(i);
    length_[i] = 1;
  }
  next_ = clearCode_ + 2;
  width_ = static_cast<int>(minimum) + 1;
  reader_ = CodeReader(in.Tail());
}

void LzwDecoder::WriteString(uint32_t code, size_t from, size_t to, uint8_t* out) const {
  uint32_t c = code;
  for (size_t skip = length_[code]; skip > to; --skip) c = prefix_[c];
  for (size_t i = to; i-- > from;) {
    out[i - from] = suffix_[c];
    c = prefix_[c];
  }
}

LzwDecodeResult LzwDecoder::Decode(std::span<uint8_t> out) {
  const size_t size = out.size();
  size_t pos = 0;
  if (cutCode_ >= 0) {
    const uint32_t code = static_cast<uint32_t>(cutCode_);
    const size_t full = length_[code];
    const size_t n = std::min(full - cutDone_, size);
    WriteString(code, cutDone_, cutDone_ + n, out.data());
    pos = n;
    cutDone_ += n;
    if (cutDone_ < full) return {pos, LzwStop::kOutputFull};
    cutCode_ = -1;
  }
  if (ended_) return {pos, stop_};

  const uint32_t endCode = clearCode_ + 1;
  auto finish = [&](LzwStop stop) {
    ended_ = true;
    stop_ = stop;
    return LzwDecodeResult{pos, stop};
  };
  for (;;) {
    uint32_t code = 0;
    if (held_ >= 0) {
      code = static_cast<uint32_t>(held_);
      held_ = -1;
    } else {
      LzwStop stop = LzwStop::kEndOfData;
      if (!reader_.Read(width_, &code, &stop)) return finish(stop);
    }
    if (code == clearCode_) {
      next_ = clearCode_ + 2;
      width_ = static_cast<int>(minimum_) + 1;
      previous_ = -1;
      continue;
    }
    if (code == endCode) return finish(LzwStop::kEndCode);
    if (pos == size) {
      held_ = static_cast<int32_t>(code);
      return {pos, LzwStop::kOutputFull};
    }
    if (code < clearCode_ && code > 0xFF) return finish(LzwStop::kBadCode);
    if (previous_ < 0) {
      if (code >= clearCode_) return finish(LzwStop::kBadCode);
      out[pos++] = static_cast<uint8_t>(code);
      previous_ = static_cast<int32_t>(code);
      continue;
    }
    // code == next is the one code an encoder may use before the decoder has
    // made it: the previous string plus its own first byte.
    if (code > next_ || code >= static_cast<uint32_t>(kLzwMaxCodes) ||
        (code == next_ && next_ >= static_cast<uint32_t>(kLzwMaxCodes)))
      return finish(LzwStop::kBadCode);
    if (next_ < static_cast<uint32_t>(kLzwMaxCodes)) {
      const uint32_t p = static_cast<uint32_t>(previous_);
      prefix_[next_] = static_cast<uint16_t>(p);
      suffix_[next_] = code < next_ ? first_[code] : first_[p];
      first_[next_] = first_[p];
      length_[next_] = static_cast<uint16_t>(length_[p] + 1);
      ++next_;
      if (next_ > (1u << width_) - 1 && width_ < kLzwMaxCodeBits) ++width_;
    }
    previous_ = static_cast<int32_t>(code);
    // Only the leading part of a string that runs past the output is written
    // now; the rest starts the next output.
    const size_t full = length_[code];
    const size_t n = std::min(full, size - pos);
    WriteString(code, 0, n, out.data() + pos);
    pos += n;
    if (n < full) {
      cutCode_ = static_cast<int32_t>(code);
      cutDone_ = n;
      return {pos, LzwStop::kOutputFull};
    }
  }
}

LzwDecodeResult LzwDecode(std::span<uint8_t> out, std::span<const uint8_t> data) {
  LzwDecoder decoder(data);
  return decoder.Decode(out);
}

namespace {

// Packs codes into bytes and the bytes into 255-byte sub-blocks.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<uint8_t>* out) : out_(out) {}

  void Write(uint32_t code, int width) {
    bits_ |= code << bitCount_;
    bitCount_ += width;
    while (bitCount_ >= 8) {
      PutByte(static_cast<uint8_t>(bits_));
      bits_ >>= 8;
      bitCount_ -= 8;
    }
  }
  void Finish() {
    if (bitCount_ > 0) PutByte(static_cast<uint8_t>(bits_));
    bits_ = 0;
    bitCount_ = 0;
    FlushBlock();
    out_->push_back(0);
  }

 private:
  void PutByte(uint8_t b) {
    block_[blockSize_++] = b;
    if (blockSize_ == block_.size()) FlushBlock();
  }
  void FlushBlock() {
    if (blockSize_ == 0) return;
    out_->push_back(static_cast<uint8_t>(blockSize_));
    out_->insert(out_->end(), block_.begin(), block_.begin() + blockSize_);
    blockSize_ = 0;
  }

  std::vector<uint8_t>* out_;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
  std::array<uint8_t, 255> block_{};
  size_t blockSize_ = 0;
};

// Open addressing with a prime size comfortably above 4096 entries keeps the
// probe chains short; the probe step walks backwards so that every slot is
// reachable from every start.
constexpr int32_t kHashSize = 5003;

}  // namespace

size_t LzwEncode(std::vector<uint8_t>* out, std::span<const uint8_t> pixels, uint32_t width,
                 uint32_t height, size_t stride, int minimumCodeSize) {
  const int minimum = std::clamp(minimumCodeSize, 2, 8);
  const uint64_t pixelCount = uint64_t{width} * height;
  if (pixelCount != 0) {
    uint64_t lastRow = 0;
    if (stride < width || !CheckedMul(height - 1, stride, UINT64_MAX - width, &lastRow) ||
        lastRow + width > pixels.size())
      return 0;
  }
  const size_t start = out->size();
  out->push_back(static_cast<uint8_t>(minimum));

  const uint32_t clearCode = 1u << minimum;
  const uint32_t endCode = clearCode + 1;
  const uint8_t pixelMask = static_cast<uint8_t>(clearCode - 1);
  std::vector<int32_t> keys(kHashSize, -1);  // (pixel << 12 | prefix), -1 when free
  std::vector<uint16_t> codes(kHashSize);
  uint32_t next = clearCode + 2;
  int codeWidth = minimum + 1;
  CodeWriter writer(out);

  // The width is raised after a code is written, judged by the entries made
  // before it, so that it changes at the same code as in a decoder, which makes
  // each entry one code later than the encoder.
  auto emit = [&](uint32_t code) {
    writer.Write(code, codeWidth);
    if (next > (1u << codeWidth) - 1 && codeWidth < kLzwMaxCodeBits) ++codeWidth;
  };

  writer.Write(clearCode, codeWidth);
  if (pixelCount == 0) {
    writer.Write(endCode, codeWidth);
    writer.Finish();
    return out->size() - start;
  }

  int32_t prefix = pixels[0] & pixelMask;
  uint32_t x = 1;
  for (uint32_t y = 0; y < height; ++y) {
    const size_t row = size_t{y} * stride;
    for (; x < width; ++x) {
      const int32_t pixel = pixels[row + x] & pixelMask;
      const int32_t key = pixel << kLzwMaxCodeBits | prefix;
      int32_t slot = (prefix + pixel * 16) % kHashSize;
      const int32_t step = slot == 0 ? 1 : kHashSize - slot;
      bool found = false;
      while (keys[static_cast<size_t>(slot)] != -1) {
        if (keys[static_cast<size_t>(slot)] == key) {
          prefix = codes[static_cast<size_t>(slot)];
          found = true;
          break;
        }
        slot -= step;
        if (slot < 0) slot += kHashSize;
      }
      if (found) continue;
      emit(static_cast<uint32_t>(prefix));
      if (next < static_cast<uint32_t>(kLzwMaxCodes)) {
        keys[static_cast<size_t>(slot)] = key;
        codes[static_cast<size_t>(slot)] = static_cast<uint16_t>(next++);
      } else {
        // A full table is started afresh rather than kept: adapting to the data
        // again costs little and keeps every decoder on the common path.
        writer.Write(clearCode, codeWidth);
        std::fill(keys.begin(), keys.end(), -1);
        next = clearCode + 2;
        codeWidth = minimum + 1;
      }
      prefix = pixel;
    }
    x = 0;
  }
  emit(static_cast<uint32_t>(prefix));
  writer.Write(endCode, codeWidth);
  writer.Finish();
  return out->size() - start;
}

}  // namespace vt
