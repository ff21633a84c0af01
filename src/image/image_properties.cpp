#include "image/image_properties.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace vt {

namespace {

constexpr std::u16string_view kLabels[kPropertyCount] = {
    u"文件名称", u"尺寸", u"颜色格式", u"压缩", u"文件格式", u"文件时间", u"文件大小",
    u"名称/标题", u"注释", u"作者", u"版权", u"创建日期", u"页面", u"源/设备", u"像素密度",
    u"方向", u"GPS 地理标记", u"关键字", u"关键字", u"关键字", u"关键字", u"关键字",
    u"关键字", u"关键字", u"关键字", u"关键字", u"制造商", u"型号", u"曝光时间", u"F 编号",
    u"ISO 速度等级", u"快门速度", u"光圈", u"焦距", u"曝光偏差", u"闪光灯", u"曝光模式",
    u"白平衡"};

// Slot lengths are 16-bit; longer texts are cut there.
constexpr size_t kMaxLength = 0xFFFF;


char16_t UnitAt(const void* text, TextEncoding e, size_t i) {
  if (e == TextEncoding::Utf16) {
    char16_t c;
    std::memcpy(&c, static_cast<const uint8_t*>(text) + 2 * i, 2);
    return c;
  }
  return static_cast<const uint8_t*>(text)[i];
}

PropertyKind KindFor(TextEncoding e, bool terminated) {
  switch (e) {
    case TextEncoding::Bytes8:
      return terminated ? PropertyKind::Bytes8Terminated : PropertyKind::Bytes8;
    case TextEncoding::Utf8:
      return terminated ? PropertyKind::Utf8Terminated : PropertyKind::Utf8;
    case TextEncoding::Utf16:
      return terminated ? PropertyKind::Utf16Terminated : PropertyKind::Utf16;
  }
  return PropertyKind::Owned;
}

}  // namespace

std::u16string_view PropertyLabel(PropertyId id) {
  return kLabels[static_cast<uint8_t>(id) % kPropertyCount];
}

bool ImageProperties::Has(PropertyId id) const { return slots_[Index(id)].length != 0; }

void ImageProperties::StoreOwned(PropertyId id, std::u16string text) {
  Slot& s = slots_[Index(id)];
  if (text.size() > kMaxLength) text.resize(kMaxLength);
  s.borrowed = nullptr;
  s.kind = PropertyKind::Owned;
  s.length = static_cast<uint16_t>(text.size());
  s.owned = std::move(text);
}

const std::u16string* ImageProperties::Get(PropertyId id) {
  Slot& s = slots_[Index(id)];
  if (s.length == 0) return nullptr;
  if (s.kind != PropertyKind::Owned) {
    const char* bytes = static_cast<const char*>(s.borrowed);
    std::u16string text;
    switch (s.kind) {
      case PropertyKind::Bytes8Terminated:
      case PropertyKind::Bytes8:
        text = Windows1252ToUtf16(std::string_view(bytes, s.length));
        break;
      case PropertyKind::Utf8Terminated:
      case PropertyKind::Utf8:
        text = Utf8ToUtf16(std::string_view(bytes, s.length));
        break;
      default:
        text.resize(s.length);
        std::memcpy(text.data(), bytes, size_t{s.length} * 2);
        break;
    }
    if (text.empty()) {
      s = Slot{};
      return nullptr;
    }
    StoreOwned(id, std::move(text));
  }
  return &s.owned;
}

void ImageProperties::Set(PropertyId id, std::u16string_view text) {
  if (text.empty()) {
    slots_[Index(id)] = Slot{};
    return;
  }
  StoreOwned(id, std::u16string(text));
}

void ImageProperties::Clear() {
  for (Slot& s : slots_) s = Slot{};
}

void ImageProperties::SetRaw(PropertyId id, const void* text, int32_t length,
                             TextEncoding encoding) {
  Slot& s = slots_[Index(id)];
  if (!text) {
    s = Slot{};
    return;
  }
  size_t n;
  bool terminated;
  if (length < 0) {
    n = 0;
    while (n < kMaxLength && UnitAt(text, encoding, n) != 0) ++n;
    terminated = UnitAt(text, encoding, n) == 0;
  } else {
    const size_t given = static_cast<size_t>(length);
    n = 0;
    while (n < given && UnitAt(text, encoding, n) != 0) ++n;
    while (n > 0 && UnitAt(text, encoding, n - 1) == u' ') --n;
    if (n > kMaxLength) n = kMaxLength;
    // Whether the unit at the length is zero tells how the text ends; looking at
    // it is only safe inside the given length, so past it we assume it is not.
    terminated = n < given && UnitAt(text, encoding, n) == 0;
  }
  if (n == 0) {
    s = Slot{};
    return;
  }
  s.owned.clear();
  s.borrowed = text;
  s.kind = KindFor(encoding, terminated);
  s.length = static_cast<uint16_t>(n);
}

void ImageProperties::CopyFrom(ImageProperties& other) {
  for (int i = 0; i < kPropertyCount; ++i) {
    PropertyId id = static_cast<PropertyId>(i);
    const std::u16string* t = other.Get(id);
    Set(id, t ? std::u16string_view(*t) : std::u16string_view());
  }
}

void OwnedImageProperties::Set(PropertyId id, std::u16string_view text) {
  size_t start = 0;
  while (start < text.size() && text[start] == u' ') ++start;
  std::u16string clean(text.substr(start));
  for (char16_t& c : clean) {
    if (c < 32) c = u' ';
  }
  ImageProperties::Set(id, clean);
}

void OwnedImageProperties::SetRaw(PropertyId id, const void* text, int32_t length,
                                  TextEncoding encoding) {
  ImageProperties::SetRaw(id, text, length, encoding);
  const std::u16string* converted = ImageProperties::Get(id);
  if (!converted) return;
  std::u16string copy = *converted;
  Set(id, copy);
}

std::u16string FormatFileTime(int year, int month, int day, int hour, int minute, int second) {
  char buf[64];
  auto two = [](int v, char* out) {
    out[0] = static_cast<char>('0' + (v / 10) % 10);
    out[1] = static_cast<char>('0' + v % 10);
  };
  char m[2], d[2], h[2], mi[2], s[2];
  two(month, m), two(day, d), two(hour, h), two(minute, mi), two(second, s);
  std::snprintf(buf, sizeof buf, "%d-%c%c-%c%c, %c%c:%c%c:%c%c", year, m[0], m[1], d[0], d[1],
                h[0], h[1], mi[0], mi[1], s[0], s[1]);
  return AsciiToUtf16(buf);
}

}  // namespace vt
