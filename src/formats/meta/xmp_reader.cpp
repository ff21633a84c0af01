#include "formats/meta/xmp_reader.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/meta/gps_text.h"
#include "formats/meta/resolution.h"

namespace vt {

namespace {

// Smaller packets cannot hold an rdf:Description with a value.
constexpr size_t kMinPacket = 64;
// Real packets nest a handful of levels; deeper ones are not worth following.
constexpr size_t kMaxDepth = 64;
constexpr size_t kMaxPrefixes = 256;
constexpr size_t kMaxCreators = 16;
constexpr size_t kKeywordSlots = 9;

// The packet as code units: bytes of UTF-8, or 16-bit little-endian units.
// Indexing is bounds-checked; past the end reads as 0.
class Units {
 public:
  Units(std::span<const uint8_t> bytes, bool wide) : bytes_(bytes), wide_(wide) {}
  size_t Size() const { return wide_ ? bytes_.size() / 2 : bytes_.size(); }
  char16_t operator[](size_t i) const {
    if (i >= Size()) return 0;
    if (!wide_) return bytes_[i];
    return static_cast<char16_t>(bytes_[2 * i] | bytes_[2 * i + 1] << 8);
  }
  const void* Address(size_t i) const {
    ByteCursor c(bytes_);
    c.Skip(wide_ ? 2 * i : i);
    return c.Rest().data();
  }
  bool Wide() const { return wide_; }
  bool At(size_t i, std::string_view ascii) const {
    if (i > Size() || ascii.size() > Size() - i) return false;
    for (size_t k = 0; k < ascii.size(); ++k)
      if ((*this)[i + k] != static_cast<unsigned char>(ascii[k])) return false;
    return true;
  }
  size_t Find(size_t from, std::string_view ascii) const {
    for (size_t i = from; i < Size(); ++i)
      if ((*this)[i] == static_cast<unsigned char>(ascii[0]) && At(i, ascii)) return i;
    return Size();
  }

 private:
  std::span<const uint8_t> bytes_;
  bool wide_;
};

struct Range {
  size_t begin = 0;
  size_t end = 0;
  size_t Length() const { return end - begin; }
  bool Empty() const { return end <= begin; }
};

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

Range Trim(const Units& u, Range r) {
  while (r.begin < r.end && IsSpace(u[r.begin])) ++r.begin;
  while (r.end > r.begin && IsSpace(u[r.end - 1])) --r.end;
  return r;
}

bool Equals(const Units& u, Range r, std::string_view ascii) {
  return r.Length() == ascii.size() && u.At(r.begin, ascii);
}

enum class Namespace : uint8_t { Other, Rdf, DublinCore, XmpBasic, Tiff, Exif, Xml };

Namespace NamespaceOf(const Units& u, Range uri) {
  if (Equals(u, uri, "http://www.w3.org/1999/02/22-rdf-syntax-ns#")) return Namespace::Rdf;
  if (Equals(u, uri, "http://purl.org/dc/elements/1.1/")) return Namespace::DublinCore;
  if (Equals(u, uri, "http://ns.adobe.com/xap/1.0/")) return Namespace::XmpBasic;
  if (Equals(u, uri, "http://ns.adobe.com/tiff/1.0/")) return Namespace::Tiff;
  if (Equals(u, uri, "http://ns.adobe.com/exif/1.0/")) return Namespace::Exif;
  return Namespace::Other;
}

enum class Target : uint8_t {
  None,
  Title,
  Creator,
  Description,
  Rights,
  Subject,
  CreateDate,
  Make,
  Model,
  XResolution,
  YResolution,
  ResolutionUnit,
  GpsLatitude,
  GpsLongitude,
  GpsAltitude,
  GpsAltitudeRef,
  Count,
};

Target TargetOf(const Units& u, Namespace ns, Range local) {
  struct Entry {
    Namespace ns;
    std::string_view name;
    Target target;
  };
  static constexpr Entry kTable[] = {
      {Namespace::DublinCore, "title", Target::Title},
      {Namespace::DublinCore, "creator", Target::Creator},
      {Namespace::DublinCore, "description", Target::Description},
      {Namespace::DublinCore, "rights", Target::Rights},
      {Namespace::DublinCore, "subject", Target::Subject},
      {Namespace::XmpBasic, "CreateDate", Target::CreateDate},
      {Namespace::Tiff, "Make", Target::Make},
      {Namespace::Tiff, "Model", Target::Model},
      {Namespace::Tiff, "XResolution", Target::XResolution},
      {Namespace::Tiff, "YResolution", Target::YResolution},
      {Namespace::Tiff, "ResolutionUnit", Target::ResolutionUnit},
      {Namespace::Exif, "GPSLatitude", Target::GpsLatitude},
      {Namespace::Exif, "GPSLongitude", Target::GpsLongitude},
      {Namespace::Exif, "GPSAltitude", Target::GpsAltitude},
      {Namespace::Exif, "GPSAltitudeRef", Target::GpsAltitudeRef},
  };
  for (const Entry& e : kTable)
    if (e.ns == ns && Equals(u, local, e.name)) return e.target;
  return Target::None;
}

// A value as it stands in the packet. Values holding '&' carry character
// references and are decoded into owned text; others can be borrowed as they are.
struct Value {
  Range range;
  bool set = false;
  bool references = false;
};

struct Collected {
  Value single[static_cast<size_t>(Target::Count)];
  std::vector<Value> creators;
  std::vector<Value> keywords;
};

enum class FrameKind : uint8_t { Other, Description, Property, Container, Item };

struct Frame {
  Range name;
  FrameKind kind = FrameKind::Other;
  Target target = Target::None;
  bool defaultLanguage = false;  // an rdf:li with xml:lang="x-default"
  bool hasChildren = false;
  Value text;                    // first non-blank text inside the element
};

class Scanner {
 public:
  Scanner(const Units& units, Collected* out) : u_(units), out_(out) {}

  void Run() {
    size_t i = 0;
    const size_t n = u_.Size();
    while (i < n) {
      const size_t lt = u_.Find(i, "<");
      if (lt > i) Text(Range{i, lt}, true);
      if (lt >= n) return;
      if (u_.At(lt, "<?")) {
        i = SkipPast(lt, "?>");
      } else if (u_.At(lt, "<!--")) {
        i = SkipPast(lt, "-->");
      } else if (u_.At(lt, "<![CDATA[")) {
        const size_t end = u_.Find(lt + 9, "]]>");
        if (end >= n) return;
        Text(Range{lt + 9, end}, false);
        i = end + 3;
      } else if (u_.At(lt, "<!")) {
        i = SkipPast(lt, ">");
      } else if (u_.At(lt, "</")) {
        i = EndTag(lt + 2);
      } else {
        i = StartTag(lt + 1);
      }
      if (i == 0) return;  // unterminated markup: keep what was complete
    }
  }

 private:
  // Index after the closing delimiter, or 0 when there is none.
  size_t SkipPast(size_t from, std::string_view close) const {
    const size_t end = u_.Find(from, close);
    return end >= u_.Size() ? 0 : end + close.size();
  }

  static bool NameChar(char16_t c) {
    return !(IsSpace(c) || c == u'/' || c == u'>' || c == u'=' || c == u'<' || c == 0);
  }

  size_t ReadName(size_t i, Range* name) const {
    name->begin = i;
    while (i < u_.Size() && NameChar(u_[i])) ++i;
    name->end = i;
    return i;
  }

  // Splits "prefix:local"; an unprefixed name has an empty prefix.
  void Split(Range name, Range* prefix, Range* local) const {
    for (size_t i = name.begin; i < name.end; ++i) {
      if (u_[i] == u':') {
        *prefix = Range{name.begin, i};
        *local = Range{i + 1, name.end};
        return;
      }
    }
    *prefix = Range{name.begin, name.begin};
    *local = name;
  }

  // A light scanner keeps one binding per prefix, the latest, and does not
  // unbind at scope ends: packets bind each prefix to one namespace throughout.
  struct Binding {
    std::u16string name;
    Namespace ns = Namespace::Other;
  };

  Binding* FindBinding(Range prefix) {
    for (Binding& b : prefixes_) {
      if (b.name.size() != prefix.Length()) continue;
      bool same = true;
      for (size_t j = 0; j < prefix.Length() && same; ++j) same = b.name[j] == u_[prefix.begin + j];
      if (same) return &b;
    }
    return nullptr;
  }

  void Bind(Range prefix, Namespace ns) {
    if (Binding* b = FindBinding(prefix)) {
      b->ns = ns;
    } else if (prefixes_.size() < kMaxPrefixes) {
      Binding nb;
      for (size_t k = prefix.begin; k < prefix.end; ++k) nb.name.push_back(u_[k]);
      nb.ns = ns;
      prefixes_.push_back(std::move(nb));
    }
  }

  Namespace Resolve(Range prefix) {
    if (const Binding* b = FindBinding(prefix)) return b->ns;
    if (Equals(u_, prefix, "xml")) return Namespace::Xml;
    return Namespace::Other;
  }

  struct Attribute {
    Range name;
    Range value;
  };

  // Reads the attributes of a start tag up to '>' or "/>". Returns the index
  // after the tag, or 0 when the tag never closes.
  size_t Attributes(size_t i, std::vector<Attribute>* attrs, bool* selfClosing) const {
    const size_t n = u_.Size();
    for (;;) {
      while (i < n && IsSpace(u_[i])) ++i;
      if (i >= n) return 0;
      if (u_[i] == u'>') {
        *selfClosing = false;
        return i + 1;
      }
      if (u_.At(i, "/>")) {
        *selfClosing = true;
        return i + 2;
      }
      Attribute a;
      i = ReadName(i, &a.name);
      if (a.name.Empty()) return 0;
      while (i < n && IsSpace(u_[i])) ++i;
      if (u_[i] != u'=') return 0;
      ++i;
      while (i < n && IsSpace(u_[i])) ++i;
      const char16_t quote = u_[i];
      if (quote != u'"' && quote != u'\'') return 0;
      a.value.begin = ++i;
      while (i < n && u_[i] != quote) ++i;
      if (i >= n) return 0;
      a.value.end = i++;
      if (attrs->size() < 256) attrs->push_back(a);
    }
  }

  size_t StartTag(size_t i) {
    Range name;
    i = ReadName(i, &name);
    if (name.Empty()) return 0;
    std::vector<Attribute> attrs;
    bool selfClosing = false;
    i = Attributes(i, &attrs, &selfClosing);
    if (i == 0) return 0;

    for (const Attribute& a : attrs) {
      Range prefix, local;
      Split(a.name, &prefix, &local);
      if (Equals(u_, prefix, "xmlns")) Bind(local, NamespaceOf(u_, a.value));
    }

    Frame* parent = stack_.empty() ? nullptr : &stack_.back();
    if (parent) parent->hasChildren = true;
    Range prefix, local;
    Split(name, &prefix, &local);
    const Namespace ns = Resolve(prefix);
    const bool rdf = ns == Namespace::Rdf || (ns == Namespace::Other && Equals(u_, prefix, "rdf"));

    Frame f;
    f.name = name;
    if (rdf && Equals(u_, local, "Description")) {
      f.kind = FrameKind::Description;
      // Simple properties may stand as attributes of the description.
      for (const Attribute& a : attrs) {
        Range ap, al;
        Split(a.name, &ap, &al);
        const Target t = TargetOf(u_, Resolve(ap), al);
        if (t != Target::None) Deliver(t, MakeValue(a.value));
      }
    } else if (parent && parent->kind == FrameKind::Description) {
      f.kind = FrameKind::Property;
      f.target = TargetOf(u_, ns, local);
    } else if (parent && parent->kind == FrameKind::Property && rdf &&
               (Equals(u_, local, "Seq") || Equals(u_, local, "Bag") || Equals(u_, local, "Alt"))) {
      f.kind = FrameKind::Container;
      f.target = parent->target;
    } else if (parent && parent->kind == FrameKind::Container && rdf && Equals(u_, local, "li")) {
      f.kind = FrameKind::Item;
      f.target = parent->target;
      for (const Attribute& a : attrs) {
        Range ap, al;
        Split(a.name, &ap, &al);
        if (Resolve(ap) == Namespace::Xml && Equals(u_, al, "lang"))
          f.defaultLanguage = Equals(u_, Trim(u_, a.value), "x-default");
      }
    }
    if (selfClosing) return i;
    if (stack_.size() >= kMaxDepth) return 0;
    stack_.push_back(f);
    return i;
  }

  size_t EndTag(size_t i) {
    Range name;
    i = ReadName(i, &name);
    const size_t close = u_.Find(i, ">");
    if (close >= u_.Size()) return 0;
    // Pop down to the matching element; an end tag that matches nothing open
    // is stray and ignored.
    for (size_t k = stack_.size(); k-- > 0;) {
      if (SameName(stack_[k].name, name)) {
        while (stack_.size() > k) Close();
        break;
      }
    }
    return close + 1;
  }

  bool SameName(Range a, Range b) const {
    if (a.Length() != b.Length()) return false;
    for (size_t k = 0; k < a.Length(); ++k)
      if (u_[a.begin + k] != u_[b.begin + k]) return false;
    return true;
  }

  void Close() {
    Frame f = stack_.back();
    stack_.pop_back();
    if (f.target == Target::None || !f.text.set) return;
    switch (f.kind) {
      case FrameKind::Item:
        if (f.target == Target::Subject || f.target == Target::Creator) {
          Deliver(f.target, f.text);
        } else if (!stack_.empty() && stack_.back().kind == FrameKind::Container) {
          // Of a language alternative, the default language wins; otherwise
          // the first item does.
          Frame& container = stack_.back();
          if (!container.text.set || (f.defaultLanguage && !container.defaultLanguage)) {
            container.text = f.text;
            container.defaultLanguage = f.defaultLanguage;
          }
        }
        break;
      case FrameKind::Container:
        if (f.target != Target::Subject && f.target != Target::Creator) Deliver(f.target, f.text);
        break;
      case FrameKind::Property:
        if (!f.hasChildren) Deliver(f.target, f.text);
        break;
      default:
        break;
    }
  }

  Value MakeValue(Range r) const {
    Value v;
    v.range = Trim(u_, r);
    v.set = !v.range.Empty();
    for (size_t k = v.range.begin; k < v.range.end && !v.references; ++k)
      v.references = u_[k] == u'&';
    return v;
  }

  void Text(Range r, bool mayHoldReferences) {
    if (stack_.empty()) return;
    Frame& f = stack_.back();
    if (f.text.set) return;
    Value v = MakeValue(r);
    if (!mayHoldReferences) v.references = false;
    if (v.set) f.text = v;
  }

  // Lists collect their items; a single value replaces an earlier one, as a
  // later description in the packet restates the property.
  void Deliver(Target t, const Value& v) {
    if (!v.set) return;
    if (t == Target::Subject) {
      if (out_->keywords.size() < kKeywordSlots) out_->keywords.push_back(v);
    } else if (t == Target::Creator) {
      if (out_->creators.size() < kMaxCreators) out_->creators.push_back(v);
    } else {
      out_->single[static_cast<size_t>(t)] = v;
    }
  }

  const Units& u_;
  Collected* out_;
  std::vector<Frame> stack_;
  std::vector<Binding> prefixes_;
};

std::u16string DecodeReferences(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (s[i] != u'&') {
      out.push_back(s[i++]);
      continue;
    }
    const size_t semi = s.find(u';', i);
    if (semi == std::u16string_view::npos || semi - i > 12) {
      out.push_back(s[i++]);
      continue;
    }
    const std::u16string_view ref = s.substr(i + 1, semi - i - 1);
    char32_t c = 0;
    if (ref == u"amp") c = u'&';
    else if (ref == u"lt") c = u'<';
    else if (ref == u"gt") c = u'>';
    else if (ref == u"quot") c = u'"';
    else if (ref == u"apos") c = u'\'';
    else if (ref.size() > 1 && ref[0] == u'#') {
      const bool hex = ref[1] == u'x' || ref[1] == u'X';
      uint32_t v = 0;
      bool ok = ref.size() > (hex ? 2u : 1u);
      for (size_t k = hex ? 2 : 1; k < ref.size() && ok; ++k) {
        const char16_t d = ref[k];
        uint32_t digit;
        if (d >= u'0' && d <= u'9') digit = d - u'0';
        else if (hex && d >= u'a' && d <= u'f') digit = d - u'a' + 10;
        else if (hex && d >= u'A' && d <= u'F') digit = d - u'A' + 10;
        else { ok = false; break; }
        v = v * (hex ? 16 : 10) + digit;
        if (v > 0x10FFFF) ok = false;
      }
      if (ok && v != 0 && !(v >= 0xD800 && v <= 0xDFFF)) c = v;
    }
    if (c == 0) {
      out.push_back(s[i++]);
      continue;
    }
    if (c > 0xFFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i = semi + 1;
  }
  return out;
}

std::u16string ToText(const Units& u, const Value& v) {
  std::u16string raw;
  if (u.Wide()) {
    raw.reserve(v.range.Length());
    for (size_t k = v.range.begin; k < v.range.end; ++k) raw.push_back(u[k]);
  } else {
    std::string bytes;
    bytes.reserve(v.range.Length());
    for (size_t k = v.range.begin; k < v.range.end; ++k) bytes.push_back(static_cast<char>(u[k]));
    raw = Utf8ToUtf16(bytes);
  }
  return v.references ? DecodeReferences(raw) : raw;
}

void Store(ImageProperties& p, PropertyId id, const Units& u, const Value& v) {
  if (!v.set) return;
  if (v.references || v.range.Length() > 0xFFFF) {
    p.Set(id, ToText(u, v));
    return;
  }
  p.SetRaw(id, u.Address(v.range.begin), static_cast<int32_t>(v.range.Length()),
           u.Wide() ? TextEncoding::Utf16 : TextEncoding::Utf8);
}

// ASCII text of a short value, for numbers; empty when the value is long or
// holds anything else.
std::string AsciiOf(const Units& u, const Value& v) {
  std::string s;
  if (!v.set || v.range.Length() > 64) return s;
  for (size_t k = v.range.begin; k < v.range.end; ++k) {
    const char16_t c = u[k];
    if (c >= 128) return {};
    s.push_back(static_cast<char>(c));
  }
  return s;
}

// A plain decimal ("72", "-3.25"); the C library's parsers follow the locale.
std::optional<double> ParseDecimal(std::string_view s, size_t* used) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  double v = 0, scale = 1;
  bool digits = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    v = v * 10 + (s[i++] - '0');
    digits = true;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      scale /= 10;
      v += (s[i++] - '0') * scale;
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  *used = i;
  return negative ? -v : v;
}

// "n/d" or a decimal.
std::optional<double> ParseRationalText(const std::string& s) {
  size_t used = 0;
  std::optional<double> n = ParseDecimal(s, &used);
  if (!n) return std::nullopt;
  if (used == s.size()) return n;
  if (s[used] != '/') return std::nullopt;
  size_t used2 = 0;
  std::optional<double> d = ParseDecimal(std::string_view(s).substr(used + 1), &used2);
  if (!d || *d == 0 || used + 1 + used2 != s.size()) return std::nullopt;
  return *n / *d;
}

// XMP GPS coordinates: "DDD,MM,SSk" or "DDD,MM.mmk" with k one of N, S, E, W;
// a lone decimal degree value with its letter is accepted too.
std::optional<std::string> GpsCoordinateText(const std::string& s) {
  double parts[3] = {0, 0, 0};
  size_t i = 0;
  for (int k = 0; k < 3; ++k) {
    size_t used = 0;
    std::optional<double> v = ParseDecimal(std::string_view(s).substr(i), &used);
    if (!v) return std::nullopt;
    parts[k] = *v;
    i += used;
    if (i < s.size() && s[i] == ',') {
      ++i;
      continue;
    }
    break;
  }
  while (i < s.size() && s[i] == ' ') ++i;
  if (i + 1 != s.size()) return std::nullopt;
  char ref = s[i];
  if (ref >= 'a' && ref <= 'z') ref = static_cast<char>(ref - 'a' + 'A');
  if (ref != 'N' && ref != 'S' && ref != 'E' && ref != 'W') return std::nullopt;
  return FormatGpsCoordinate(parts[0], parts[1], parts[2], ref);
}

int32_t RoundToInt(double v) {
  if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;
  return static_cast<int32_t>(std::floor(v + 0.5));
}

void StoreResolution(ImageProperties& p, const Units& u, const Collected& c) {
  if (p.Has(PropertyId::PixelDensity)) return;
  const std::optional<double> x =
      ParseRationalText(AsciiOf(u, c.single[static_cast<size_t>(Target::XResolution)]));
  if (!x) return;
  std::optional<double> y =
      ParseRationalText(AsciiOf(u, c.single[static_cast<size_t>(Target::YResolution)]));
  if (!y) y = x;
  const Value& unitValue = c.single[static_cast<size_t>(Target::ResolutionUnit)];
  // TIFF's default unit is the inch.
  const std::string unitText = unitValue.set ? AsciiOf(u, unitValue) : "2";
  double scale;
  ResolutionUnit unit;
  if (unitText == "2") {
    scale = 1;
    unit = ResolutionUnit::PerInch;
  } else if (unitText == "3") {
    // Stored per centimetre; shown per metre so the unit label tells the truth.
    scale = 100;
    unit = ResolutionUnit::PerMetre;
  } else {
    return;
  }
  const int32_t rx = RoundToInt(*x * scale), ry = RoundToInt(*y * scale);
  if (rx <= 0 || ry <= 0) return;
  p.Set(PropertyId::PixelDensity, FormatResolution(rx, ry, unit));
}

void StoreGps(ImageProperties& p, const Units& u, const Collected& c) {
  const std::optional<std::string> lat =
      GpsCoordinateText(AsciiOf(u, c.single[static_cast<size_t>(Target::GpsLatitude)]));
  const std::optional<std::string> lon =
      GpsCoordinateText(AsciiOf(u, c.single[static_cast<size_t>(Target::GpsLongitude)]));
  if (!lat || !lon) return;
  std::string text = *lat + ", " + *lon;
  const std::optional<double> altitude =
      ParseRationalText(AsciiOf(u, c.single[static_cast<size_t>(Target::GpsAltitude)]));
  if (altitude) {
    const std::string ref = AsciiOf(u, c.single[static_cast<size_t>(Target::GpsAltitudeRef)]);
    text += ", " + FormatGpsAltitude(*altitude, ref == "1");
  }
  p.Set(PropertyId::GpsGeotag, Utf8ToUtf16(text));
}

void StoreCreators(ImageProperties& p, const Units& u, const Collected& c) {
  if (c.creators.empty()) return;
  if (c.creators.size() == 1) {
    Store(p, PropertyId::Author, u, c.creators[0]);
    return;
  }
  std::u16string joined;
  for (const Value& v : c.creators) {
    if (!joined.empty()) joined += u"; ";
    joined += ToText(u, v);
  }
  p.Set(PropertyId::Author, joined);
}

// The encoding a packet declares through the form of its "<?xpacket begin="
// opening. Only UTF-8 and UTF-16LE packets are read.
enum class PacketEncoding { Utf8, Utf16, Unsupported };

PacketEncoding DetectEncoding(std::span<const uint8_t> p) {
  static constexpr std::string_view kOpening = "<?xpacket begin=";
  auto wideAt = [&](size_t offset, size_t step, size_t at) {
    // kOpening written with each character in `step` bytes, its byte at `at`.
    if (p.size() < offset + kOpening.size() * step) return false;
    for (size_t k = 0; k < kOpening.size(); ++k)
      for (size_t b = 0; b < step; ++b) {
        const uint8_t want = b == at ? static_cast<uint8_t>(kOpening[k]) : 0;
        if (p[offset + k * step + b] != want) return false;
      }
    return true;
  };
  if (wideAt(0, 2, 0)) {
    // Then the byte-order mark, possibly after the attribute's quote.
    size_t i = kOpening.size() * 2;
    if (i + 1 < p.size() && (p[i] == '\'' || p[i] == '"') && p[i + 1] == 0) i += 2;
    if (i + 1 < p.size() && p[i] == 0xFF && p[i + 1] == 0xFE) return PacketEncoding::Utf16;
    return PacketEncoding::Unsupported;
  }
  if (wideAt(0, 2, 1) || wideAt(0, 4, 0) || wideAt(0, 4, 3)) return PacketEncoding::Unsupported;
  return PacketEncoding::Utf8;
}

}  // namespace

void ReadXmpPacket(ImageProperties& properties, std::span<const uint8_t> packet) {
  if (packet.size() < kMinPacket) return;
  const PacketEncoding encoding = DetectEncoding(packet);
  if (encoding == PacketEncoding::Unsupported) return;
  const Units units(packet, encoding == PacketEncoding::Utf16);
  Collected c;
  Scanner(units, &c).Run();

  auto single = [&](Target t) -> const Value& { return c.single[static_cast<size_t>(t)]; };
  Store(properties, PropertyId::Title, units, single(Target::Title));
  Store(properties, PropertyId::Comment, units, single(Target::Description));
  Store(properties, PropertyId::Rights, units, single(Target::Rights));
  Store(properties, PropertyId::CreationDate, units, single(Target::CreateDate));
  Store(properties, PropertyId::Manufacturer, units, single(Target::Make));
  Store(properties, PropertyId::Model, units, single(Target::Model));
  StoreCreators(properties, units, c);
  for (size_t k = 0; k < c.keywords.size(); ++k)
    Store(properties, static_cast<PropertyId>(static_cast<size_t>(PropertyId::Keyword1) + k), units,
          c.keywords[k]);
  StoreResolution(properties, units, c);
  StoreGps(properties, units, c);
}

}  // namespace vt
