#include "app/dictionary.h"

#include <algorithm>
#include <array>

#include "base/file_mapping.h"
#include "base/text.h"

namespace vt {

namespace {

// A text ends at its first character of code 0 or 1; what follows U+0001 in a
// built-in text is a suffix that is not translated.
size_t KeyLength(std::u16string_view text) {
  size_t n = 0;
  while (n < text.size() && text[n] > 1) ++n;
  return n;
}

// The file's text as UTF-16, up to its first NUL: a byte-order mark chooses
// UTF-16 (an odd last byte is ignored); anything else is Windows-1252.
std::u16string DecodeLanguageText(std::span<const uint8_t> bytes) {
  std::u16string text;
  const bool little = bytes[0] == 0xFF && bytes[1] == 0xFE;
  const bool big = bytes[0] == 0xFE && bytes[1] == 0xFF;
  if (little || big) {
    const size_t units = (bytes.size() - 2) / 2;
    text.resize(units);
    // A plain loop the compiler turns into vector shuffles for either order.
    const uint8_t* p = bytes.data() + 2;
    const int hi = big ? 0 : 1;
    for (size_t i = 0; i < units; ++i)
      text[i] = static_cast<char16_t>(p[2 * i + hi] << 8 | p[2 * i + (1 - hi)]);
    text.resize(std::min(text.size(), text.find(u'\0')));
    return text;
  }
  std::string_view narrow(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  narrow = narrow.substr(0, std::min(narrow.size(), narrow.find('\0')));
  return Windows1252ToUtf16(narrow);
}

// "\n" is a line feed and "\t" is U+0008 (not the tab: the texts use code 8
// for their own column mark); a backslash before anything else is itself, and
// the character after it is read afresh.
std::u16string Unescape(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'n' || s[i + 1] == u't')) {
      out.push_back(s[i + 1] == u'n' ? u'\n' : u'\u0008');
      ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

struct Entry {
  uint32_t bucket;
  std::u16string key;
  std::u16string translation;
};

RefPtr<CompiledDictionary> Build(const std::vector<Entry>& entries) {
  // Words per bucket: each record is its length word plus both texts with
  // their NULs; a non-empty bucket adds its closing 0 word.
  std::array<size_t, kDictionaryBuckets> bucketWords{};
  for (const Entry& e : entries) bucketWords[e.bucket] += 3 + e.key.size() + e.translation.size();
  std::array<size_t, kDictionaryBuckets> next{};
  size_t total = kDictionaryBuckets;
  std::vector<char16_t> words(kDictionaryBuckets, 0);
  for (int b = 0; b < kDictionaryBuckets; ++b) {
    if (!bucketWords[b]) continue;
    words[b] = static_cast<char16_t>(total);
    next[b] = total;
    total += bucketWords[b] + 1;
  }
  words.resize(total, 0);  // the zeros left over end the buckets
  for (const Entry& e : entries) {
    size_t& pos = next[e.bucket];
    words[pos++] = static_cast<char16_t>(e.key.size() + 1 + e.translation.size() + 1);
    std::copy(e.key.begin(), e.key.end(), words.begin() + pos);
    pos += e.key.size() + 1;
    std::copy(e.translation.begin(), e.translation.end(), words.begin() + pos);
    pos += e.translation.size() + 1;
  }
  return MakeRef<CompiledDictionary>(std::move(words));
}

RefPtr<CompiledDictionary>& ActiveSlot() {
  static RefPtr<CompiledDictionary> active;
  return active;
}

}  // namespace

uint32_t DictionaryHash(std::u16string_view text) {
  static constexpr uint32_t kOffsets[8] = {0, 1, 3, 5, 7, 11, 13, 17};
  uint32_t h = 0;
  for (size_t i = 0; i < 8 && i < text.size() && text[i] > 1; ++i) {
    const uint32_t v = text[i] + kOffsets[i];
    h ^= v ^ (v >> 7) ^ (v >> 14);
  }
  return h & (kDictionaryBuckets - 1);
}

RefPtr<CompiledDictionary> CompileDictionary(std::span<const uint8_t> fileBytes) {
  if (fileBytes.size() < 3) return nullptr;
  const std::u16string text = DecodeLanguageText(fileBytes);

  std::vector<Entry> entries;
  std::array<bool, kDictionaryBuckets> used{};
  size_t total = kDictionaryBuckets;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(u"\r\n", pos);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (line.empty() || line.starts_with(u"//")) continue;
    const size_t bar = line.find(u'|');
    if (bar == std::u16string_view::npos) continue;
    Entry e;
    e.key = Unescape(line.substr(0, bar));
    // Lookups end a text at U+0001, so a key holding one could never match:
    // it is cut there, which also lets a file quote a built-in text whole.
    e.key.resize(KeyLength(e.key));
    e.translation = Unescape(line.substr(bar + 1));
    if (e.key.empty() || e.translation.empty() || e.key == e.translation) continue;
    // The layout's 16-bit word indices cap the dictionary; entries past the
    // cap are dropped rather than wrapping indices into garbage.
    e.bucket = DictionaryHash(e.key);
    const size_t words = 3 + e.key.size() + e.translation.size() + (used[e.bucket] ? 0 : 1);
    if (total + words > kMaxDictionaryWords) continue;
    total += words;
    used[e.bucket] = true;
    entries.push_back(std::move(e));
  }
  if (entries.empty()) return nullptr;
  return Build(entries);
}

RefPtr<CompiledDictionary> CompileLanguageFile(const std::u16string& path) {
  std::string bytes;
  if (Failed(ReadWholeFile(path, &bytes))) return nullptr;
  return CompileDictionary(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

bool IsValidDictionary(std::span<const char16_t> words) {
  const size_t size = words.size();
  if (size < kDictionaryBuckets || size > kMaxDictionaryWords) return false;
  for (int b = 0; b < kDictionaryBuckets; ++b) {
    size_t pos = words[b];
    if (pos == 0) continue;
    if (pos < kDictionaryBuckets) return false;
    for (;;) {
      if (pos >= size) return false;
      const size_t length = words[pos];
      if (length == 0) break;
      // Key, NUL, at least a NUL for the translation, and the record's last
      // word (the translation's NUL) inside the array.
      if (length < 2 || pos + length >= size || words[pos + length] != 0) return false;
      const auto record = words.subspan(pos + 1, length);
      if (std::find(record.begin(), record.end() - 1, u'\0') == record.end() - 1) return false;
      pos += 1 + length;
    }
  }
  return true;
}

RefPtr<CompiledDictionary> DictionaryFromBytes(std::span<const uint8_t> bytes) {
  if (bytes.size() % 2) return nullptr;
  std::vector<char16_t> words(bytes.size() / 2);
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  if (!IsValidDictionary(words)) return nullptr;
  return MakeRef<CompiledDictionary>(std::move(words));
}

std::vector<uint8_t> CompiledDictionary::ToBytes() const {
  std::vector<uint8_t> bytes(words_.size() * 2);
  for (size_t i = 0; i < words_.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(words_[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(words_[i] >> 8);
  }
  return bytes;
}

std::u16string_view CompiledDictionary::Lookup(std::u16string_view text) const {
  const size_t n = KeyLength(text);
  if (n == 0 || words_.size() < kDictionaryBuckets) return text;
  const std::u16string_view key = text.substr(0, n);
  // Every index is checked: the words may come from the settings store.
  size_t pos = words_[DictionaryHash(key)];
  if (pos == 0) return text;
  while (pos < words_.size()) {
    const size_t length = words_[pos];
    if (length == 0) break;
    const size_t keyEnd = pos + 1 + n;
    if (length > n + 1 && keyEnd < words_.size() && words_[keyEnd] == 0 &&
        std::u16string_view(words_.data() + pos + 1, n) == key) {
      const size_t start = keyEnd + 1;
      const size_t limit = std::min(words_.size(), pos + 1 + length);
      size_t end = start;
      while (end < limit && words_[end] != 0) ++end;
      if (end > start) return std::u16string_view(words_.data() + start, end - start);
      return text;
    }
    pos += 1 + length;
  }
  return text;
}

void SetActiveDictionary(RefPtr<CompiledDictionary> dictionary) {
  ActiveSlot() = std::move(dictionary);
}

RefPtr<CompiledDictionary> ActiveDictionary() { return ActiveSlot(); }

std::u16string_view Translate(std::u16string_view text) {
  const RefPtr<CompiledDictionary>& active = ActiveSlot();
  return active ? active->Lookup(text) : text;
}

}  // namespace vt
