#include "files/navigate.h"

#include "base/file_system.h"
#include "files/compare_names.h"
#include "image/format_registry.h"

namespace vt {

Navigator::Navigator(const FormatRegistry* formats)
    : registry_(MakeRef<FolderListingRegistry>()), formats_(formats) {}

const FormatRegistry& Navigator::Formats() const {
  return formats_ ? *formats_ : GlobalFormatRegistry();
}

Navigator& GlobalNavigator() {
  // Leaked on purpose: listings may still be scanned by their threads when
  // static destructors run.
  static Navigator* navigator = new Navigator();
  return *navigator;
}

int FindImageFormat(std::u16string_view name, const FormatRegistry& formats) {
  return formats.LookupByExtension(name);
}

namespace {

bool NavigateOnce(Navigator& nav, RefPtr<FolderListing>* slot, NavigateMode mode,
                  std::u16string* out, const std::u16string& current, const CancelFlag* cancel) {
  if (mode == NavigateMode::Next) nav.SetDirection(kDirectionForward);
  if (mode == NavigateMode::Previous) nav.SetDirection(kDirectionBackward);

  size_t cut = current.size();
  while (cut > 0 && !IsPathSeparator(current[cut - 1])) --cut;
  if (cut == 0) return false;
  const std::u16string_view prefix(current.data(), cut);
  const std::u16string_view name(current.data() + cut, current.size() - cut);

  if (!*slot || !(*slot)->IsValid()) {
    slot->reset();
    *slot = nav.Listings().Acquire(prefix, false);
    if (!*slot) return false;
  }
  const FolderListing& listing = **slot;
  const FormatRegistry& formats = nav.Formats();

  // One pass over the entries, keeping the best candidate so far. The order is
  // total (identical names only compare equal), so the current file is never
  // the result, also not for First and Last. Between candidates that compare
  // equal the later one wins. The format test is the dearest, so it runs only
  // for a name that would become the best.
  std::u16string_view best;
  bool haveBest = false;
  FolderListing::ReadLock lock(listing);
  FolderEntryInfo info;
  for (const char16_t* e = listing.NextEntry(lock, nullptr, &info); e;
       e = listing.NextEntry(lock, e, &info)) {
    if (IsCancelled(cancel)) return false;
    if (info.isFolder) continue;
    const std::u16string_view n(e, info.nameLength);
    if (n == u".") continue;
    const int toCurrent = CompareFileNamesStrict(n, name);
    if (toCurrent == 0) continue;
    bool better = false;
    switch (mode) {
      case NavigateMode::Next:
        better = toCurrent > 0 && (!haveBest || CompareFileNamesStrict(n, best) <= 0);
        break;
      case NavigateMode::Previous:
        better = toCurrent < 0 && (!haveBest || CompareFileNamesStrict(n, best) >= 0);
        break;
      case NavigateMode::First:
        better = !haveBest || CompareFileNamesStrict(n, best) <= 0;
        break;
      case NavigateMode::Last:
        better = !haveBest || CompareFileNamesStrict(n, best) >= 0;
        break;
      default:
        return false;
    }
    if (!better || FindImageFormat(n, formats) < 0) continue;
    best = n;
    haveBest = true;
  }
  if (!haveBest || IsCancelled(cancel)) return false;
  std::u16string result(prefix);
  result.append(best);
  *out = std::move(result);
  return true;
}

}  // namespace

bool NavigateFolder(Navigator& nav, RefPtr<FolderListing>* slot, NavigateMode mode,
                    std::u16string* out, std::u16string_view currentView,
                    const CancelFlag* cancel) {
  if (currentView.empty() || static_cast<uint8_t>(mode) > 5) return false;
  // A copy: out may be the very string current views.
  const std::u16string current(currentView);
  switch (mode) {
    case NavigateMode::Current:
      *out = current;
      return PathExists(current);
    case NavigateMode::SameDirection: {
      const bool back = nav.Direction() == kDirectionBackward;
      const NavigateMode first = back ? NavigateMode::Previous : NavigateMode::Next;
      const NavigateMode second = back ? NavigateMode::Next : NavigateMode::Previous;
      return NavigateOnce(nav, slot, first, out, current, cancel) ||
             NavigateOnce(nav, slot, second, out, current, cancel);
    }
    default:
      return NavigateOnce(nav, slot, mode, out, current, cancel);
  }
}

}  // namespace vt
