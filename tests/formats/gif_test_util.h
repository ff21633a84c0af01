#pragma once
// Shared by the GIF tests: a writer for hand-made files, loading through the
// reader and the pipeline, and a small compositor that lays frames on a canvas
// the way an animation player would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/gif/gif_reader.h"
#include "formats/lzw/lzw.h"
#include "image/format_registry.h"

namespace vt::gif_test {

inline const FormatRecord kGifRecord{u"gif", u"Graphics interchange format", ProbeGif,
                                     CreateGifReader};

inline void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8 & 0xFF));
}

// Colours are 0xRRGGBB.
inline void PutTable(std::string& s, const std::vector<uint32_t>& table) {
  for (uint32_t c : table) {
    s.push_back(static_cast<char>(c >> 16 & 0xFF));
    s.push_back(static_cast<char>(c >> 8 & 0xFF));
    s.push_back(static_cast<char>(c & 0xFF));
  }
}

// Table size code for a table of 2^(code+1) entries.
inline uint8_t SizeCode(size_t entries) {
  uint8_t code = 0;
  while ((2u << code) < entries) ++code;
  return code;
}

inline void PutSubBlocks(std::string& s, const std::string& data, size_t blockSize = 255) {
  for (size_t i = 0; i < data.size(); i += blockSize) {
    const size_t n = std::min(blockSize, data.size() - i);
    s.push_back(static_cast<char>(n));
    s.append(data, i, n);
  }
  s.push_back('\0');
}

struct GifImage {
  uint32_t x = 0, y = 0, width = 1, height = 1;
  std::vector<uint8_t> pixels;  // width * height indices, rows top to bottom
  std::vector<uint32_t> localTable;
  bool interlaced = false;
  int minimumCodeSize = 2;
};

// Builds a file block by block.
class GifWriter {
 public:
  GifWriter(uint32_t width, uint32_t height, std::vector<uint32_t> globalTable = {},
            uint8_t background = 0, uint8_t colourResolution = 7) {
    s_ = "GIF89a";
    Put16(s_, width);
    Put16(s_, height);
    uint8_t packed = static_cast<uint8_t>((colourResolution & 7) << 4);
    if (!globalTable.empty()) {
      const uint8_t code = SizeCode(globalTable.size());
      globalTable.resize(size_t{2} << code, 0);
      packed |= 0x80 | code;
    }
    s_.push_back(static_cast<char>(packed));
    s_.push_back(static_cast<char>(background));
    s_.push_back('\0');
    PutTable(s_, globalTable);
  }

  GifWriter& Control(uint8_t flags, uint16_t delay, uint8_t transparentIndex = 0) {
    s_ += "\x21\xF9\x04";
    s_.push_back(static_cast<char>(flags));
    Put16(s_, delay);
    s_.push_back(static_cast<char>(transparentIndex));
    s_.push_back('\0');
    return *this;
  }
  // Disposal method as written in the file (0..7).
  GifWriter& Animation(uint16_t delay, uint8_t disposal, int transparentIndex = -1) {
    const uint8_t flags =
        static_cast<uint8_t>(disposal << 2 | (transparentIndex >= 0 ? 1 : 0));
    return Control(flags, delay, static_cast<uint8_t>(transparentIndex < 0 ? 0 : transparentIndex));
  }
  GifWriter& Comment(const std::vector<std::string>& blocks) {
    s_ += "\x21\xFE";
    for (const std::string& b : blocks) {
      s_.push_back(static_cast<char>(b.size()));
      s_ += b;
    }
    s_.push_back('\0');
    return *this;
  }
  GifWriter& Application(const std::string& id11, const std::vector<std::string>& blocks) {
    s_ += "\x21\xFF\x0B";
    s_ += id11;
    for (const std::string& b : blocks) {
      s_.push_back(static_cast<char>(b.size()));
      s_ += b;
    }
    s_.push_back('\0');
    return *this;
  }
  GifWriter& Loop(uint16_t repeats) {
    std::string data = "\x01";
    Put16(data, repeats);
    return Application("NETSCAPE2.0", {data});
  }
  GifWriter& Image(const GifImage& im) {
    s_.push_back('\x2C');
    Put16(s_, im.x);
    Put16(s_, im.y);
    Put16(s_, im.width);
    Put16(s_, im.height);
    uint8_t packed = im.interlaced ? 0x40 : 0;
    std::vector<uint32_t> local = im.localTable;
    if (!local.empty()) {
      const uint8_t code = SizeCode(local.size());
      local.resize(size_t{2} << code, 0);
      packed |= 0x80 | code;
    }
    s_.push_back(static_cast<char>(packed));
    PutTable(s_, local);
    std::vector<uint8_t> rows = im.pixels;
    if (im.interlaced) {
      rows.clear();
      static constexpr uint32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (uint32_t y = kStart[p]; y < im.height; y += kStep[p])
          rows.insert(rows.end(), im.pixels.begin() + size_t{y} * im.width,
                      im.pixels.begin() + size_t{y + 1} * im.width);
    }
    std::vector<uint8_t> lzw;
    LzwEncode(&lzw, rows, im.width, im.height, im.width, im.minimumCodeSize);
    s_.append(reinterpret_cast<const char*>(lzw.data()), lzw.size());
    return *this;
  }
  GifWriter& Raw(const std::string& bytes) {
    s_ += bytes;
    return *this;
  }
  std::string Finish() const { return s_ + ";"; }
  const std::string& Bytes() const { return s_; }

 private:
  std::string s_;
};

// Opens a reader on bytes in memory (Open runs ReadHeader).
inline Status OpenGif(const std::string& bytes, RefPtr<ImageReader>* out) {
  RefPtr<FileSource> source = MakeMemorySource(u"test.gif", bytes);
  *out = CreateGifReader(source.get(), &kGifRecord);
  return (*out)->Open();
}

// Open, make the target buffer, decode every frame.
inline Status LoadGif(const std::string& bytes, RefPtr<ImageBuffer>* out, bool display = false) {
  RefPtr<ImageReader> reader;
  Status s = OpenGif(bytes, &reader);
  if (Failed(s)) return s;
  s = MakeTargetBuffer(reader.get(), out, display, false);
  if (Failed(s)) return s;
  return reader->DecodeInto(out->get(), true, nullptr, nullptr);
}

// Blue, green, red, alpha as one word, whatever the frame's format.
inline uint32_t PixelAt(ImageBuffer* b, uint32_t x, uint32_t y) {
  const uint8_t* row = b->Row(y);
  switch (b->Format()) {
    case PixelFormat::Indexed8:
      return b->Palette()[row[x]];
    case PixelFormat::Gray8:
      return row[x] * 0x010101u | 0xFF000000u;
    case PixelFormat::Bgra8: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
    default:
      ADD_FAILURE() << "unexpected pixel format " << static_cast<int>(b->Format());
      return 0;
  }
}

inline std::vector<uint8_t> FrameIndices(ImageBuffer* b) {
  std::vector<uint8_t> v;
  for (uint32_t y = 0; y < b->Height(); ++y)
    v.insert(v.end(), b->Row(y), b->Row(y) + b->Width());
  return v;
}

// Lays frames on a canvas that starts transparent: a frame with blend set
// leaves the canvas where its pixels are transparent; disposal 1 clears the
// frame's rectangle afterwards, disposal 2 restores what was under it.
class Compositor {
 public:
  Compositor(uint32_t width, uint32_t height)
      : width_(width), height_(height), canvas_(size_t{width} * height, 0) {}

  void Draw(ImageBuffer* frame) {
    const FrameDescription& f = frame->Frame();
    std::vector<uint32_t> saved = canvas_;
    for (uint32_t y = 0; y < frame->Height(); ++y) {
      for (uint32_t x = 0; x < frame->Width(); ++x) {
        const uint64_t cx = uint64_t{f.x} + x, cy = uint64_t{f.y} + y;
        if (cx >= width_ || cy >= height_) continue;
        const uint32_t p = PixelAt(frame, x, y);
        if (f.blend && (p >> 24) == 0) continue;
        canvas_[cy * width_ + cx] = p;
      }
    }
    shown_ = canvas_;
    if (f.disposal == 2) canvas_ = saved;
    if (f.disposal == 1) {
      for (uint32_t y = 0; y < frame->Height(); ++y)
        for (uint32_t x = 0; x < frame->Width(); ++x) {
          const uint64_t cx = uint64_t{f.x} + x, cy = uint64_t{f.y} + y;
          if (cx < width_ && cy < height_) canvas_[cy * width_ + cx] = 0;
        }
    }
  }
  // What the last Draw showed, blue, green, red, alpha words.
  const std::vector<uint32_t>& Shown() const { return shown_; }

 private:
  uint32_t width_, height_;
  std::vector<uint32_t> canvas_;
  std::vector<uint32_t> shown_;
};

}  // namespace vt::gif_test
