#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/cancel.h"
#include "base/ref_counted.h"
#include "files/folder_listing.h"

namespace vt {

class FormatRegistry;

enum class NavigateMode : uint8_t {
  Current = 0,
  Next = 1,
  Previous = 2,
  SameDirection = 3,
  First = 4,
  Last = 5,
};

// Remembered direction values.
inline constexpr uint8_t kDirectionNone = 0;
inline constexpr uint8_t kDirectionForward = 1;
inline constexpr uint8_t kDirectionBackward = 2;

// The process's folder navigation state: the registry of listings and the
// direction of the last step, which "same direction" steps and the read-ahead
// follow.
class Navigator {
 public:
  // formats: which files count as images (the global registry when null).
  explicit Navigator(const FormatRegistry* formats = nullptr);

  FolderListingRegistry& Listings() const { return *registry_; }
  const FormatRegistry& Formats() const;
  uint8_t Direction() const { return direction_.load(std::memory_order_relaxed); }
  void SetDirection(uint8_t d) { direction_.store(d, std::memory_order_relaxed); }

 private:
  RefPtr<FolderListingRegistry> registry_;
  const FormatRegistry* formats_;
  std::atomic<uint8_t> direction_{kDirectionNone};
};

Navigator& GlobalNavigator();

// The registry index of the first format with a reader whose extension is the
// name's, or -1 (no extension, one longer than five characters, or the
// program's own ".vt?" files).
int FindImageFormat(std::u16string_view name, const FormatRegistry& formats);

// The image file to show after current in the given mode, written to out
// (which may be the string current views). slot is the caller's own reference
// to the listing of current's folder (may hold null); a valid listing held
// there is used as it is, so the caller empties the slot when it moves to
// another folder. cancel may be null. False when there is no such file, the
// folder cannot be listed, or cancel was set.
bool NavigateFolder(Navigator& navigator, RefPtr<FolderListing>* slot, NavigateMode mode,
                    std::u16string* out, std::u16string_view current,
                    const CancelFlag* cancel = nullptr);

}  // namespace vt
