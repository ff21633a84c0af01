#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

// Text is UTF-16 in memory; these convert at the edges (files, paths, consoles).

// UTF-8 to UTF-16. Code points above U+FFFF become surrogate pairs; malformed
// sequences, overlong forms and encoded surrogates each become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Windows-1252. The five bytes that code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the code points of the same value, as Windows does.
std::u16string Windows1252ToUtf16(std::string_view bytes);
// ISO 8859-1: each byte is its own code point.
std::u16string Latin1ToUtf16(std::string_view bytes);
// ASCII-only lower and upper casing (what file extensions and switches need).
char16_t AsciiLower(char16_t c);
std::u16string AsciiLower(std::u16string_view s);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoreAsciiCase(std::u16string_view text, std::u16string_view prefix);
// Convenience for literals and numbers in tests and tools.
std::u16string AsciiToUtf16(std::string_view ascii);

}  // namespace vt
