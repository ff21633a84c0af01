// Index cache files from any bytes: parsing stays inside the input, every
// thumbnail it vouches for comes out whole, and what comes out is written and
// read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "index/index_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::IndexCacheContent content;
  if (!vt::ParseIndexCache(std::span<const uint8_t>(data, size), &content)) return 0;
  std::vector<vt::IndexCacheEntry> entries;
  for (size_t i = 0; i < content.records.size() && entries.size() < 64; ++i) {
    vt::CachedThumbnail t;
    if (!vt::ExtractThumbnail(content, i, &t)) continue;
    if (t.thumbnail->Width() != content.records[i].thumbWidth) std::abort();
    vt::IndexCacheEntry e;
    e.name = u"n" + std::u16string(1, char16_t(u'a' + entries.size() % 26)) + u".jpg";
    e.width = t.width, e.height = t.height, e.bitsPerPixel = t.bitsPerPixel;
    e.thumbnail = t.thumbnail;
    e.comment = t.comment;
    entries.push_back(std::move(e));
  }
  if (entries.empty()) return 0;
  const std::vector<uint8_t> again = vt::EncodeIndexCache(entries, content.boxWidth, content.boxHeight);
  vt::IndexCacheContent back;
  if (!vt::ParseIndexCache(again, &back) || back.records.size() != entries.size()) std::abort();
  for (size_t i = 0; i < entries.size(); ++i) {
    vt::CachedThumbnail t;
    if (!vt::ExtractThumbnail(back, i, &t) || t.comment != entries[i].comment) std::abort();
    const vt::ImageBuffer& a = *t.thumbnail;
    const vt::ImageBuffer& b = *entries[i].thumbnail;
    for (uint32_t y = 0; y < a.Height(); ++y)
      if (std::memcmp(a.Row(y), b.Row(y), size_t{a.Width()} * 4) != 0) std::abort();
  }
  return 0;
}
