#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/ref_counted.h"

namespace vt {

// The interface dictionary: translations of the built-in user-interface texts,
// compiled from a ".language" file.
//
// Compiled form, an array of 16-bit words (kept as it is in the settings):
//   words 0..127   the word index of each hash bucket's first record, 0 if empty;
//   from word 128  the records of bucket 0, then bucket 1, ..., each bucket's
//                  records in file order and followed by one 0 word;
//   a record       L = (key length + 1) + (translation length + 1), then the key
//                  and a NUL, then the translation and a NUL.
class CompiledDictionary : public RefCounted {
 public:
  // Takes words that passed IsValidDictionary.
  explicit CompiledDictionary(std::vector<char16_t> words) : words_(std::move(words)) {}

  std::span<const char16_t> Words() const { return words_; }
  uint32_t SizeInBytes() const { return static_cast<uint32_t>(words_.size() * 2); }
  // The words as little-endian bytes, the form that is compressed and stored.
  std::vector<uint8_t> ToBytes() const;

  // The translation of `text`, or `text` itself. The text ends at its first
  // character of code 0 or 1, so built-in texts may carry a suffix after U+0001
  // that is not part of the key.
  std::u16string_view Lookup(std::u16string_view text) const;

 private:
  std::vector<char16_t> words_;
};

inline constexpr int kDictionaryBuckets = 128;
// Bucket starts are 16-bit word indices, which bounds a compiled dictionary.
inline constexpr size_t kMaxDictionaryWords = 0xFFFF;
inline constexpr size_t kMaxDictionaryBytes = kMaxDictionaryWords * 2;

// The bucket (0..127) of a text: its first 8 characters, up to the first
// character of code 0 or 1.
uint32_t DictionaryHash(std::u16string_view text);

// Compiles the bytes of a language file; null when it gives no dictionary (fewer
// than 3 bytes, or no usable entry).
RefPtr<CompiledDictionary> CompileDictionary(std::span<const uint8_t> fileBytes);
// Reads and compiles a language file; null when it cannot be read.
RefPtr<CompiledDictionary> CompileLanguageFile(const std::u16string& path);

// Whether words have the compiled layout: every bucket start inside, every record
// complete with both NULs in place, every bucket ended by a 0 word. Stored
// dictionaries are checked with this before use.
bool IsValidDictionary(std::span<const char16_t> words);
// Little-endian bytes back to a checked dictionary; null when they are not one.
RefPtr<CompiledDictionary> DictionaryFromBytes(std::span<const uint8_t> bytes);

// The process's active dictionary (user-interface thread only).
void SetActiveDictionary(RefPtr<CompiledDictionary> dictionary);
RefPtr<CompiledDictionary> ActiveDictionary();
// Lookup through the active dictionary: the translation, or the text itself.
// The view stays valid until the active dictionary is replaced.
std::u16string_view Translate(std::u16string_view text);

}  // namespace vt
