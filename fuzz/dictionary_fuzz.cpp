// Language files are text anyone may drop beside the program, and compiled
// dictionaries come back from the settings store: both must be read safely.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "app/dictionary.h"
#include "formats/lzw/lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  if (auto d = vt::CompileDictionary(bytes)) {
    if (!vt::IsValidDictionary(d->Words())) std::abort();
    // What is compiled survives the stored form unchanged.
    const std::vector<uint8_t> stored = d->ToBytes();
    const std::vector<uint8_t> coded = vt::LzwEncodeBytes(stored, 8);
    std::vector<uint8_t> back(stored.size());
    if (vt::LzwDecode(back, coded).written != stored.size() || back != stored) std::abort();
    auto reread = vt::DictionaryFromBytes(back);
    if (!reread) std::abort();
    // Every key the words hold finds a translation.
    const auto words = d->Words();
    for (int b = 0; b < vt::kDictionaryBuckets; ++b) {
      for (size_t pos = words[b]; pos && words[pos] != 0; pos += 1 + words[pos]) {
        std::u16string key(words.data() + pos + 1);
        if (reread->Lookup(key).data() == key.data()) std::abort();
      }
    }
  }
  // The same bytes taken as a stored dictionary: checked, then looked up.
  if (auto stored = vt::DictionaryFromBytes(bytes)) {
    stored->Lookup(u"打开");
    stored->Lookup(std::u16string(reinterpret_cast<const char16_t*>(data), size / 2));
  }
  return 0;
}
