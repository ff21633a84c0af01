// FITS primary arrays.
//
// A header of 80-character cards in 2880-byte records, then the samples of the
// primary array, big-endian, the first stored row being the bottom row. Only
// the first plane (NAXIS1 x NAXIS2) of an array with more axes is shown.
// Samples map to grey levels without scaling: 8-bit samples as they are,
// signed 16-bit ones shifted into 0..65535, 32-bit ones by their top 16 bits
// likewise, floating-point ones as floats.
//
// Undefined samples (equal to the BLANK value, or not-a-number and infinite
// floats) show as 0, so that no non-finite value reaches the conversions.
//
// Damaged files. The header must give BITPIX, NAXIS1 and NAXIS2 within the
// image limits; a header without "END" runs to the end of the file and so
// leaves no data. The file must hold a real share of the samples the header
// declares. Sample rows the file does not hold, wholly or in part, are 0: a
// truncated file gives the bottom part of the image that arrived, and Decode
// never fails on file contents.
#include "formats/fits/fits_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "base/byte_cursor.h"
#include "base/text.h"

namespace vt {

namespace {

constexpr size_t kCard = 80;
constexpr size_t kRecord = 2880;
constexpr size_t kKeyword = 8;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A number in the value field: optional sign, digits, fraction and exponent
// (E or D). False when the field does not start with one.
bool ParseNumber(std::string_view text, double* out) {
  text = Trim(text);
  std::string s(text.substr(0, std::min<size_t>(text.size(), 70)));
  for (char& c : s) {
    if (c == 'D' || c == 'd') c = 'E';
  }
  size_t start = 0;
  if (!s.empty() && s[0] == '+') start = 1;
  double v = 0;
  const auto r = std::from_chars(s.data() + start, s.data() + s.size(), v);
  if (r.ec != std::errc() || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool ParseInteger(std::string_view text, int64_t* out) {
  double v = 0;
  if (!ParseNumber(text, &v) || v < -9.0e18 || v > 9.0e18) return false;
  *out = static_cast<int64_t>(v);
  return true;
}

// A quoted string value; a doubled quote stands for one. Trailing blanks are
// not significant.
bool ParseString(std::string_view value, std::string* out) {
  value = Trim(value);
  if (value.empty() || value[0] != '\'') return false;
  out->clear();
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] == '\'') {
      if (i + 1 < value.size() && value[i + 1] == '\'') {
        out->push_back('\'');
        ++i;
        continue;
      }
      break;
    }
    out->push_back(value[i]);
  }
  while (!out->empty() && out->back() == ' ') out->pop_back();
  return true;
}

struct FitsHeader {
  int32_t bitpix = 0;
  int64_t width = 0;
  int64_t height = 0;
  bool hasBlank = false;
  double blank = 0;
  uint64_t dataPos = 0;
};

// Receives the cards that become properties; null in the probe.
class CardSink {
 public:
  virtual ~CardSink() = default;
  virtual void Text(PropertyId id, const std::string& text) = 0;
  virtual void Comment(std::string_view text) = 0;
};

Status ParseHeader(ByteCursor file, FitsHeader* h, CardSink* sink) {
  if (file.Size() < kCard) return status::kUnknownFormat;
  auto nextCard = [&]() {
    const std::span<const uint8_t> card = file.Bytes(kCard);
    return std::string_view(reinterpret_cast<const char*>(card.data()), card.size());
  };
  auto valueOf = [](std::string_view card) -> std::string_view {
    if (card[8] != '=') return {};
    std::string_view v = card.substr(9);
    // Numbers may be followed by a comment after a slash.
    if (std::string_view t = Trim(v); !t.empty() && t[0] != '\'') v = v.substr(0, v.find('/'));
    return v;
  };

  const std::string_view first = nextCard();
  if (Trim(first.substr(0, kKeyword)) != "SIMPLE") return status::kUnknownFormat;
  if (Trim(valueOf(first)) != "T") return status::kUnsupportedSubformat;

  int64_t naxis = -1;
  // A header without END runs to the end of the file.
  size_t end = file.Size();
  while (file.Has(kCard)) {
    const std::string_view card = nextCard();
    const std::string_view key = Trim(card.substr(0, kKeyword));
    if (key == "END") {
      end = file.Position();
      break;
    }
    const std::string_view value = valueOf(card);
    if (key == "BITPIX") {
      int64_t v = 0;
      if (!ParseInteger(value, &v) || (v != 8 && v != 16 && v != 32 && v != -32 && v != -64))
        return status::kUnsupportedSubformat;
      h->bitpix = static_cast<int32_t>(v);
    } else if (key == "NAXIS") {
      if (!ParseInteger(value, &naxis) || naxis < 2) return status::kUnsupportedSubformat;
    } else if (key == "NAXIS1") {
      if (!ParseInteger(value, &h->width)) return status::kDamaged;
    } else if (key == "NAXIS2") {
      if (!ParseInteger(value, &h->height)) return status::kDamaged;
      if (h->height == 0) return status::kUnsupportedSubformat;
    } else if (key == "BLANK") {
      h->hasBlank = ParseNumber(value, &h->blank);
    } else if (sink) {
      std::string text;
      PropertyId id = PropertyId::Title;
      bool wanted = true;
      if (key == "OBJECT") {
        id = PropertyId::Title;
      } else if (key == "ORIGIN" || key == "OBSERVER") {
        id = PropertyId::Source;
      } else if (key == "AUTHOR") {
        id = PropertyId::Author;
      } else if (key == "DATE") {
        id = PropertyId::CreationDate;
      } else {
        wanted = false;
        if (key == "COMMENT") sink->Comment(card.substr(kKeyword + 1));
      }
      if (wanted && ParseString(value, &text) && !text.empty()) sink->Text(id, text);
    }
  }

  if (naxis < 2) return status::kUnsupportedSubformat;
  if (h->bitpix == 0 || h->width <= 0 || h->height <= 0 ||
      !WithinFrameLimits(static_cast<uint64_t>(h->width), static_cast<uint64_t>(h->height), 1))
    return status::kDamaged;
  h->dataPos = (uint64_t{end} + kRecord - 1) / kRecord * kRecord;
  return status::kOk;
}

class PropertySink final : public CardSink {
 public:
  explicit PropertySink(ImageProperties& p) : p_(p) {}
  void Text(PropertyId id, const std::string& text) override {
    p_.Set(id, Windows1252ToUtf16(text));
  }
  void Comment(std::string_view text) override {
    if (!p_.Has(PropertyId::Comment))
      p_.SetRaw(PropertyId::Comment, text.data(), static_cast<int32_t>(text.size()),
                TextEncoding::Bytes8);
  }

 private:
  ImageProperties& p_;
};

class FitsReader final : public ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  Status ReadHeader() override;
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                const CancelFlag* cancel) override;

 private:
  void DecodeRow(uint8_t* dst, const uint8_t* src, uint32_t n) const;

  FitsHeader header_;
};

Status FitsReader::ReadHeader() {
  PropertySink sink(Properties());
  header_ = FitsHeader{};
  Status s = ParseHeader(FileCursor(), &header_, &sink);
  // Whatever is not a "SIMPLE = T" file is refused alike once a reader runs.
  if (s == status::kUnknownFormat) return status::kUnsupportedSubformat;
  if (Failed(s)) return s;
  width_ = static_cast<uint32_t>(header_.width);
  height_ = static_cast<uint32_t>(header_.height);
  bitDepth_ = static_cast<uint32_t>(std::abs(header_.bitpix));
  switch (header_.bitpix) {
    case 8:
      outputFormat_ = PixelFormat::Gray8;
      break;
    case 16:
    case 32:
      outputFormat_ = PixelFormat::Gray16;
      break;
    default:
      outputFormat_ = PixelFormat::GrayFloat;
      break;
  }
  model_ = ColourModel::L;
  alpha_ = AlphaMode::None;
  minStride_ = 0;
  minRows_ = 0;
  pixelData_.declared = uint64_t{width_} * height_ * (bitDepth_ / 8);
  pixelData_.present = FileSize() > header_.dataPos ? FileSize() - header_.dataPos : 0;
  return status::kOk;
}

uint64_t LoadBE(const uint8_t* p, uint32_t bytes) {
  uint64_t v = 0;
  for (uint32_t i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

void FitsReader::DecodeRow(uint8_t* dst, const uint8_t* src, uint32_t n) const {
  const bool blank = header_.hasBlank;
  const double b = header_.blank;
  switch (header_.bitpix) {
    case 8:
      for (uint32_t x = 0; x < n; ++x) dst[x] = blank && src[x] == b ? 0 : src[x];
      break;
    case 16:
    case 32: {
      const uint32_t size = header_.bitpix / 8;
      uint16_t* out = reinterpret_cast<uint16_t*>(dst);
      for (uint32_t x = 0; x < n; ++x) {
        const uint64_t raw = LoadBE(src + size_t{x} * size, size);
        const double value = size == 2 ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
        const uint16_t high = static_cast<uint16_t>(raw >> (8 * size - 16));
        out[x] = blank && value == b ? 0 : static_cast<uint16_t>(high ^ 0x8000);
      }
      break;
    }
    case -32:
    case -64: {
      float* out = reinterpret_cast<float*>(dst);
      for (uint32_t x = 0; x < n; ++x) {
        double v;
        if (header_.bitpix == -32) {
          v = std::bit_cast<float>(static_cast<uint32_t>(LoadBE(src + size_t{x} * 4, 4)));
        } else {
          v = std::bit_cast<double>(LoadBE(src + size_t{x} * 8, 8));
        }
        const float f = static_cast<float>(v);
        out[x] = !std::isfinite(f) || (blank && v == b) ? 0.0f : f;
      }
      break;
    }
    default:
      break;
  }
}

Status FitsReader::Decode(ImageBuffer* target, bool /*reduced*/, ProgressSink* progress,
                          const CancelFlag* cancel) {
  const PlaneView plane = target->View(outputFormat_);
  if (!plane) return status::kUnsupportedColourFormat;
  if (plane.width != width_ || plane.height != height_) return status::kInvalidArgument;
  const ByteCursor file = FileCursor();
  const uint32_t sampleBytes = static_cast<uint32_t>(std::abs(header_.bitpix)) / 8;
  const uint32_t outBytes = BytesPerPixel(outputFormat_);
  const uint64_t rowBytes = uint64_t{width_} * sampleBytes;
  for (uint32_t i = 0; i < height_; ++i) {
    uint8_t* dst = plane.Row(height_ - 1 - i);
    const std::span<const uint8_t> src = file.RowAt(header_.dataPos + uint64_t{i} * rowBytes, rowBytes);
    const uint32_t n = static_cast<uint32_t>(src.size() / sampleBytes);
    if (n) DecodeRow(dst, src.data(), n);
    std::memset(dst + size_t{n} * outBytes, 0, size_t{width_ - n} * outBytes);
    if (progress) progress->Report(i + 1, height_);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  return status::kOk;
}

}  // namespace

Status ProbeFits(const FileSource& source) {
  FitsHeader header;
  const Status s = ParseHeader(source.Cursor(), &header, nullptr);
  // A damaged header is still this format: the reader reports the damage.
  return s == status::kDamaged ? status::kOk : s;
}

RefPtr<ImageReader> CreateFitsReader(FileSource* source, const FormatRecord* record) {
  return RefPtr<ImageReader>::Adopt(new FitsReader(source, record));
}

}  // namespace vt
