#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vt {

class FormatRegistry;

// The filter list of the open dialog: every extension the registry reads,
// then all files, with their descriptions through translate.
std::vector<std::u16string> ImageFileFilter(const FormatRegistry& formats,
                                            const std::function<std::u16string(std::u16string_view)>& translate);

// One object serves the open and the save dialog of an owner: its title,
// filter list and the filter last chosen (kept from one call to the next).
// The open dialog takes several files; the save dialog asks nothing about a
// file that exists (the caller does what it must).
class FileDialog {
 public:
  FileDialog(PlatformWindow* owner, std::u16string title, std::vector<std::u16string> filter)
      : owner_(owner), title_(std::move(title)), filter_(std::move(filter)) {}

  // The files chosen; none when cancelled.
  std::vector<std::u16string> Open(bool multiple = true, std::u16string_view initialFolder = {});
  // The path chosen; nothing when cancelled.
  std::optional<std::u16string> Save(std::u16string_view proposedPath);

  uint32_t FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(uint32_t index) { filterIndex_ = index; }
  void SetTitle(std::u16string title) { title_ = std::move(title); }

 private:
  std::vector<std::u16string> Run(FileDialogRequest request);

  PlatformWindow* owner_;
  std::u16string title_;
  std::vector<std::u16string> filter_;
  uint32_t filterIndex_ = 1;
};

}  // namespace vt
