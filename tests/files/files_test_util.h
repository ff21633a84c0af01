#pragma once
// Shared by the folder tests: a format table in which only a few extensions
// count as images, files made on disk, and a listing walk.
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "files/folder_listing.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt::test {

inline RefPtr<ImageReader> NoReader(FileSource*, const FormatRecord*) { return nullptr; }
inline Status NoProbe(const FileSource&) { return status::kUnknownFormat; }

// jpg, png and bmp count as images; "gif" is registered without a reader.
inline const FormatRegistry& TestFormats() {
  static const FormatRecord records[] = {
      {u"jpg", u"JPEG", NoProbe, NoReader},
      {u"png", u"PNG", NoProbe, NoReader},
      {u"bmp", u"Bitmap", NoProbe, NoReader},
      {u"jpeg", u"JPEG", NoProbe, NoReader},
      {u"gif", u"GIF", NoProbe, nullptr},
  };
  static FormatRegistry* registry = [] {
    auto* r = new FormatRegistry();
    for (const auto& rec : records) r->Register(&rec);
    return r;
  }();
  return *registry;
}

inline std::u16string Sep() { return std::u16string(1, u'/'); }

// All names of a listing, in listing order ("." and ".." left out).
inline std::vector<std::u16string> ListingNames(const FolderListing& l) {
  std::vector<std::u16string> names;
  FolderListing::ReadLock lock(l);
  FolderEntryInfo info;
  for (const char16_t* e = l.NextEntry(lock, nullptr, &info); e; e = l.NextEntry(lock, e, &info)) {
    std::u16string n(e, info.nameLength);
    if (n != u"." && n != u"..") names.push_back(n);
  }
  return names;
}

inline std::set<std::u16string> NameSet(const FolderListing& l) {
  auto v = ListingNames(l);
  return {v.begin(), v.end()};
}

// Waits up to the limit for pred (only for things that happen on other threads).
template <class Pred>
bool WaitUntil(Pred pred, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace vt::test
