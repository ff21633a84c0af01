// Radiance pictures: a text header of lines ending in a line feed ("#?RADIANCE"
// or "#?RGBE", comments, "FORMAT=..." and other variables), the resolution line
// and the scanlines, 4 bytes per pixel: three mantissas and a shared exponent.
//
// Layout. The resolution line names the scanline axis first: "-Y 480 +X 640" is
// 480 scanlines of 640 pixels, top to bottom, left to right. The buffer holds the
// scanlines as rows in file order, so it is as wide as a scanline is long and as
// tall as there are scanlines; the order and signs of the axes go into the
// orientation property, from which the view turns the picture upright. (For
// the column-major forms, "+X 640 +Y 480" and so on, that makes the buffer 480
// wide and 640 tall.)
//
// Colour. XYZE pictures keep X, Y and Z in the first three floats of each pixel,
// the order the XYZ conversion of the load pipeline expects; RGBE pictures are
// stored blue, green, red like every other colour image.
//
// Damaged files. A header must hold a valid resolution line: a file that ends
// before it is not a picture (kUnknownFormat), one whose resolution line is
// malformed or gives a size of 0 or beyond the image limits is damaged, and so
// is one whose data hold far fewer bytes than the smallest code of every
// scanline needs. Past that nothing is refused: decoding stops at the first
// scanline the data do not hold whole, or whose run-length codes overrun it;
// that scanline and all after it stay black. So a truncated file gives the
// scanlines that arrived.
#include "formats/hdr/hdr_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "base/text.h"

namespace vt {

namespace {

constexpr std::string_view kSignatureRadiance = "#?RADIANCE";
constexpr std::string_view kSignatureRgbe = "#?RGBE";
constexpr size_t kProbeMinimum = 11;

// Run-length scanlines carry their length in 15 bits and are only written for
// lengths from 8 up.
constexpr uint32_t kMinRunLengthWidth = 8;
constexpr uint32_t kMaxRunLengthWidth = 32767;

// Every scanline takes at least one 4-byte code: a repeat of the previous
// pixel (whose count grows by 8 bits with every further repeat code) can fill
// a whole scanline, so no better bound follows from the coding.
constexpr uint64_t kMinScanlineBytes = 4;

bool StartsWith(const ByteCursor& c, std::string_view prefix) {
  return c.StartsWith({reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size()});
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// One axis of the resolution line: a sign, X or Y, blanks and a decimal number.
struct Axis {
  bool plus = false;
  char name = 0;  // 'X' or 'Y'
  uint64_t size = 0;
};

bool ParseAxis(std::string_view& s, Axis* axis) {
  s = Trim(s);
  if (s.size() < 2 || (s[0] != '+' && s[0] != '-')) return false;
  axis->plus = s[0] == '+';
  const char name = static_cast<char>(s[1] & ~0x20);
  if (name != 'X' && name != 'Y') return false;
  axis->name = name;
  s.remove_prefix(2);
  s = Trim(s);
  size_t digits = 0;
  axis->size = 0;
  while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') {
    axis->size = axis->size * 10 + static_cast<uint64_t>(s[digits] - '0');
    if (axis->size > kImageLimits.maxSide) return false;
    ++digits;
  }
  if (digits == 0) return false;
  s.remove_prefix(digits);
  return true;
}

bool LooksLikeResolution(std::string_view line) {
  return line.size() >= 2 && (line[0] == '+' || line[0] == '-') &&
         ((line[1] & ~0x20) == 'X' || (line[1] & ~0x20) == 'Y');
}

// The orientation property for the axis order and signs; nullptr for the
// ordinary top-down, left-to-right form.
const char* OrientationFor(const Axis& first, const Axis& second) {
  if (first.name == 'Y') {
    if (!first.plus) return second.plus ? nullptr : "Mirrored";
    return second.plus ? "Bottom-Up" : "Rotated 180";
  }
  if (first.plus) return second.plus ? "Rotated 90" : "Rotated 270 & Bottom-Up";
  return second.plus ? "Rotated 90 & Bottom-Up" : "Rotated 270";
}

class HdrReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  size_t pixelPos_ = 0;
};

Status HdrReader::ReadHeader() {
  ByteCursor file = FileCursor();
  if (!StartsWith(file, kSignatureRadiance) && !StartsWith(file, kSignatureRgbe))
    return status::kUnknownFormat;
  model_ = ColourModel::Rgb;
  while (!file.AtEnd()) {
    const std::span<const uint8_t> rest = file.Tail().Rest();
    const auto feed = std::find(rest.begin(), rest.end(), uint8_t{'\n'});
    std::span<const uint8_t> raw = file.Bytes(static_cast<size_t>(feed - rest.begin()));
    if (feed != rest.end()) file.Skip(1);
    const std::string_view line = Trim(AsText(raw));
    if (line.empty()) continue;
    if (line.starts_with("#?")) continue;
    if (line[0] == '#') {
      const std::string_view comment = Trim(line.substr(1));
      if (!comment.empty() && !Properties().Has(PropertyId::Comment))
        Properties().SetRaw(PropertyId::Comment, comment.data(), static_cast<int32_t>(comment.size()),
                            TextEncoding::Bytes8);
      continue;
    }
    if (LooksLikeResolution(line)) {
      std::string_view s = line;
      Axis first, second;
      if (!ParseAxis(s, &first) || !ParseAxis(s, &second) || !Trim(s).empty() ||
          first.name == second.name)
        return status::kDamaged;
      if (!WithinFrameLimits(second.size, first.size, BytesPerPixel(PixelFormat::BgraFloat)))
        return status::kDamaged;
      // Scanlines become rows: the second axis runs along them.
      width_ = static_cast<uint32_t>(second.size);
      height_ = static_cast<uint32_t>(first.size);
      if (const char* turn = OrientationFor(first, second))
        Properties().SetRaw(PropertyId::Orientation, turn, -1, TextEncoding::Bytes8);
      pixelPos_ = file.Position();
      outputFormat_ = PixelFormat::BgraFloat;
      bitDepth_ = 32;
      alpha_ = AlphaMode::None;
      minStride_ = width_ * 16;
      minRows_ = height_;
      pixelData_ = {uint64_t{width_} * height_ * 4, FileSize() - pixelPos_,
                    BestRatio{uint64_t{width_} * 4, kMinScanlineBytes}};
      return status::kOk;
    }
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos && EqualsNoCase(Trim(line.substr(0, equals)), "format")) {
      const std::string_view value = Trim(line.substr(equals + 1));
      if (value == "32-bit_rle_rgbe") {
        model_ = ColourModel::Rgb;
      } else if (value == "32-bit_rle_xyze") {
        model_ = ColourModel::Xyz;
      } else {
        return status::kUnsupportedSubformat;
      }
    }
  }
  return status::kUnknownFormat;
}

Status HdrReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                         const CancelFlag* cancel) {
  const PlaneView plane = target->View(PixelFormat::BgraFloat);
  if (!plane || plane.width != width_ || plane.height != height_) return status::kInvalidArgument;
  std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[size_t{width_} * 4]);
  if (!line) return status::kOutOfMemory;

  const bool xyz = model_ == ColourModel::Xyz;
  ByteCursor file = FileCursor();
  file.Seek(std::min(pixelPos_, file.Size()));
  uint8_t previous[4] = {0, 0, 0, 0};
  uint32_t y = 0;
  for (; y < height_; ++y) {
    if (!ReadHdrScanline(file, line.get(), width_, previous)) break;
    float* dst = plane.RowAs<float>(y);
    for (uint32_t x = 0; x < width_; ++x, dst += 4) {
      float c[3];
      RgbeToFloat(line.get() + 4 * size_t{x}, c);
      dst[0] = xyz ? c[0] : c[2];
      dst[1] = c[1];
      dst[2] = xyz ? c[2] : c[0];
      dst[3] = 1.0f;
    }
    if ((y & 31) == 31 && progress) progress->Report(y, height_);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  for (; y < height_; ++y) {
    float* dst = plane.RowAs<float>(y);
    for (uint32_t x = 0; x < width_; ++x, dst += 4) {
      dst[0] = dst[1] = dst[2] = 0.0f;
      dst[3] = 1.0f;
    }
  }
  return status::kOk;
}

}  // namespace

bool ReadHdrScanline(ByteCursor& in, uint8_t* line, uint32_t width, uint8_t previous[4]) {
  if (width >= kMinRunLengthWidth && width <= kMaxRunLengthWidth && in.PeekU8(0) == 2 &&
      in.PeekU8(1) == 2 && (uint32_t{in.PeekU8(2)} << 8 | in.PeekU8(3)) == width &&
      in.Has(4)) {
    in.Skip(4);
    for (uint32_t c = 0; c < 4; ++c) {
      uint32_t x = 0;
      while (x < width) {
        const uint32_t code = in.U8();
        if (!in.Ok()) return false;
        if (code > 128) {
          const uint32_t run = code - 128;
          const uint8_t value = in.U8();
          if (!in.Ok() || run > width - x) return false;
          for (uint32_t i = 0; i < run; ++i) line[4 * size_t{x + i} + c] = value;
          x += run;
        } else {
          if (code > width - x) return false;
          std::span<const uint8_t> literal = in.Bytes(code);
          if (literal.size() != code) return false;
          for (uint32_t i = 0; i < code; ++i) line[4 * size_t{x + i} + c] = literal[i];
          x += code;
        }
      }
    }
    std::memcpy(previous, line + 4 * (size_t{width} - 1), 4);
    return true;
  }

  uint32_t shift = 0;
  uint32_t x = 0;
  while (x < width) {
    std::span<const uint8_t> p = in.Bytes(4);
    if (p.size() != 4) return false;
    if (p[0] == 1 && p[1] == 1 && p[2] == 1) {
      // A repeat pixel; several in a row give the higher bytes of the count.
      const uint64_t count = uint64_t{p[3]} << shift;
      if (count > width - x) return false;
      for (uint64_t i = 0; i < count; ++i, ++x) std::memcpy(line + 4 * size_t{x}, previous, 4);
      shift = std::min<uint32_t>(shift + 8, 24);
      continue;
    }
    std::memcpy(line + 4 * size_t{x}, p.data(), 4);
    std::memcpy(previous, p.data(), 4);
    shift = 0;
    ++x;
  }
  return true;
}

void RgbeToFloat(const uint8_t rgbe[4], float out[3]) {
  if (rgbe[3] == 0) {
    out[0] = out[1] = out[2] = 0.0f;
    return;
  }
  // Exact in float: a 9-bit significand times a power of two (denormal at worst).
  const int e = int{rgbe[3]} - 136;
  for (int i = 0; i < 3; ++i) out[i] = std::ldexp(static_cast<float>(rgbe[i]) + 0.5f, e);
}

Status ProbeHdr(const FileSource& source) {
  if (source.Size() < kProbeMinimum) return status::kUnknownFormat;
  const ByteCursor c = source.Cursor();
  if (StartsWith(c, kSignatureRadiance) || StartsWith(c, kSignatureRgbe)) return status::kOk;
  return status::kUnknownFormat;
}

RefPtr<ImageReader> CreateHdrReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new HdrReader(source, record));
}

}  // namespace vt
