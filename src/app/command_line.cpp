#include "app/command_line.h"

#include <charconv>
#include <cmath>
#include <span>
#include <system_error>

#include "base/byte_cursor.h"
#include "base/text.h"

namespace vt {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

size_t SkipBlanks(std::u16string_view s, size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  return i;
}

// A decimal integer at the start of text (after blanks, with an optional sign);
// trailing text is ignored. *end receives where the number stopped. Nothing when
// there are no digits or the value does not fit 32 bits: a position taken from a
// mistyped command line is better left to the window than wrapped around.
std::optional<int32_t> ParseDecimal(std::u16string_view text, size_t* end) {
  size_t i = SkipBlanks(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  const size_t digitsStart = i;
  int64_t value = 0;
  bool tooLarge = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (!tooLarge) {
      value = value * 10 + (text[i] - u'0');
      if (value > int64_t{INT32_MAX} + 1) tooLarge = true;
    }
  }
  *end = i;
  if (i == digitsStart || tooLarge) return std::nullopt;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// The zoom factor: a floating-point number, read without regard to the locale.
float ParseZoom(std::u16string_view text) {
  size_t i = SkipBlanks(text, 0);
  if (i < text.size() && text[i] == u'+') ++i;
  std::string ascii;
  for (; i < text.size() && ascii.size() < 64; ++i) {
    const char16_t c = text[i];
    const bool numeric = (c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' ||
                         c == u'+' || c == u'-';
    if (!numeric) break;
    ascii.push_back(static_cast<char>(c));
  }
  float value = 0.0f;
  const char* first = ascii.data();
  const char* last = ascii.data() + ascii.size();
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr == first) return kZoomNotGiven;
  if (!std::isfinite(value) || value <= 0.0f) return kZoomNotGiven;
  return value;
}

void ParsePosition(std::u16string_view text, WindowOptions* options) {
  size_t xEnd = 0;
  options->posX = ParseDecimal(text, &xEnd).value_or(kPositionNotGiven);
  options->posY = kPositionNotGiven;
  // y follows the first comma or blank after x, inside this argument only.
  for (size_t i = xEnd; i < text.size(); ++i) {
    if (text[i] == u',' || IsBlank(text[i])) {
      size_t yEnd = 0;
      options->posY = ParseDecimal(text.substr(i + 1), &yEnd).value_or(kPositionNotGiven);
      break;
    }
  }
}

}  // namespace

ArgumentList SplitCommandLine(std::u16string_view commandLine) {
  ArgumentList list;
  std::u16string current;
  bool quoting = false;
  auto finish = [&] {
    if (!current.empty()) list.push_back(std::move(current));
    current.clear();
    quoting = false;
  };
  for (char16_t c : commandLine) {
    if (c == u'"') {
      if (quoting) {
        finish();
      } else {
        quoting = true;
      }
    } else if (IsBlank(c) && !quoting) {
      finish();
    } else if (c == u'\0') {
      // The list format cannot hold a NUL inside an argument; it ends the text.
      break;
    } else {
      current.push_back(c);
    }
  }
  finish();
  if (list.empty()) list.emplace_back();
  return list;
}

std::u16string PackArguments(const ArgumentList& arguments) {
  std::u16string packed;
  for (const std::u16string& a : arguments) {
    if (a.empty()) break;
    packed += a;
    packed.push_back(u'\0');
  }
  packed.push_back(u'\0');
  return packed;
}

ArgumentList UnpackArguments(std::u16string_view packed) {
  ArgumentList list;
  size_t i = 0;
  while (i < packed.size()) {
    const size_t nul = packed.find(u'\0', i);
    if (nul == std::u16string_view::npos || nul == i) break;
    list.emplace_back(packed.substr(i, nul - i));
    i = nul + 1;
  }
  return list;
}

InformationRequest FindInformationRequest(const ArgumentList& arguments) {
  for (const std::u16string& a : ScanStartupArguments(arguments).arguments) {
    if (a == u"-h" || a == u"--help") return InformationRequest::kUsage;
    if (a == u"--version") return InformationRequest::kVersion;
  }
  return InformationRequest::kNone;
}

std::u16string UsageText(std::u16string_view name) {
  std::u16string text = u"Usage: ";
  text += name;
  text +=
      u" [SWITCH]... [FILE]\n"
      u"Shows the image FILE in a window of its own and steps through the images of its\n"
      u"folder; without a FILE it asks for one. A start while the program runs hands\n"
      u"FILE and the window keywords to the running program.\n"
      u"\n"
      u"Switches (\"-\" or \"/\" first, in any case):\n"
      u"  -close          close every window of the running program and end\n"
      u"  -onlyone        close the running program's windows, then open FILE here\n"
      u"Window keywords:\n"
      u"  -fullscreen     show the image full screen\n"
      u"  -zoom=Z         show the image at zoom Z (1 is its own size)\n"
      u"  -pos=X,Y        put the image's top-left corner at X,Y on the screen\n"
      u"  -title=TEXT     title the window TEXT - Vistrel\n"
      u"  -topmost        keep the window above other windows\n"
      u"  -freeze         a frozen window: below other windows, in its place\n"
      u"\n"
      u"  -h, --help      show this text and end\n"
      u"  --version       show the version and end\n";
  return text;
}

bool IsSwitchArgument(std::u16string_view argument) {
  if (argument.empty()) return false;
  if (argument[0] == u'-') return true;
  if (argument[0] != u'/') return false;
#ifdef _WIN32
  return true;
#else
  // Every absolute path starts with "/" here, so a slash marks a switch only
  // when one of the program's own keywords follows it; "/ONLYONE" still works
  // and "/home/me/a.png" stays a file.
  const std::u16string_view name = argument.substr(1);
  for (std::u16string_view word : {u"CLOSE", u"ONLYONE", u"INDEX", u"FREEZE", u"FULLSCREEN",
                                   u"TOPMOST"}) {
    if (EqualsIgnoreAsciiCase(name, word)) return true;
  }
  for (std::u16string_view prefix : {u"POS=", u"ZOOM=", u"TITLE="}) {
    if (StartsWithIgnoreAsciiCase(name, prefix)) return true;
  }
  return false;
#endif
}

StartupOptions ScanStartupArguments(const ArgumentList& arguments) {
  StartupOptions options;
  size_t first = 0;
  if (!arguments.empty() && arguments[0].find(u".exe") != std::u16string::npos) first = 1;
  for (size_t i = first; i < arguments.size(); ++i) {
    const std::u16string& a = arguments[i];
    if (a.empty()) break;  // the list's end
    options.arguments.push_back(a);
    if (IsSwitchArgument(a)) {
      const std::u16string_view name = std::u16string_view(a).substr(1);
      if (EqualsIgnoreAsciiCase(name, u"CLOSE")) {
        options.close = true;
      } else if (EqualsIgnoreAsciiCase(name, u"ONLYONE")) {
        options.singleInstanceOff = true;
      }
    } else if (!options.file) {
      options.file = a;
    }
  }
  return options;
}

WindowOptions ParseWindowOptions(const ArgumentList& arguments) {
  WindowOptions options;
  for (const std::u16string& a : arguments) {
    if (a.empty()) break;
    if (!IsSwitchArgument(a)) continue;
    const std::u16string_view s = std::u16string_view(a).substr(1);
    if (EqualsIgnoreAsciiCase(s, u"INDEX")) {
      options.index = true;
    } else if (EqualsIgnoreAsciiCase(s, u"FREEZE")) {
      options.frozen = true;
    } else if (EqualsIgnoreAsciiCase(s, u"FULLSCREEN")) {
      options.fullScreen = true;
    } else if (EqualsIgnoreAsciiCase(s, u"TOPMOST")) {
      options.topmost = true;
    } else if (StartsWithIgnoreAsciiCase(s, u"POS=")) {
      ParsePosition(s.substr(4), &options);
    } else if (StartsWithIgnoreAsciiCase(s, u"ZOOM=")) {
      options.zoom = ParseZoom(s.substr(5));
    } else if (StartsWithIgnoreAsciiCase(s, u"TITLE=")) {
      const std::u16string_view title = s.substr(6);
      if (title.empty()) {
        options.title.reset();
      } else {
        options.title = std::u16string(title);
      }
    }
  }
  return options;
}

std::u16string BuildHandOffPayload(const std::optional<std::u16string>& file,
                                   const ArgumentList& arguments) {
  std::u16string payload;
  if (file) {
    // A NUL inside the file name would end it early on the other side.
    payload.append(file->substr(0, file->find(u'\0')));
  }
  payload.push_back(u'\0');
  payload += PackArguments(arguments);
  return payload;
}

std::vector<uint8_t> HandOffBytes(const std::u16string& payload) {
  std::vector<uint8_t> bytes;
  bytes.reserve(payload.size() * 2);
  for (char16_t c : payload) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

std::optional<HandOffRequest> ReadHandOff(uint64_t tag, const void* data, size_t byteCount) {
  if (tag != kHandOffTag || data == nullptr || byteCount == 0) return std::nullopt;
  // Whole UTF-16 units only; an odd last byte belongs to no character.
  ByteCursor cursor(static_cast<const uint8_t*>(data), byteCount & ~size_t{1});

  // Reads one NUL-terminated string; false when the payload ends first.
  auto readString = [&cursor](std::u16string* out) {
    out->clear();
    while (cursor.Has(2)) {
      const char16_t c = static_cast<char16_t>(cursor.U16LE());
      if (c == u'\0') return true;
      out->push_back(c);
    }
    return false;
  };

  HandOffRequest request;
  std::u16string text;
  if (!readString(&text)) return std::nullopt;
  if (!text.empty()) request.file = text;
  while (readString(&text) && !text.empty()) request.arguments.push_back(text);
  return request;
}

}  // namespace vt
