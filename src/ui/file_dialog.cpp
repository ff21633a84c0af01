#include "ui/file_dialog.h"

#include "image/format_registry.h"

namespace vt {

std::vector<std::u16string> ImageFileFilter(const FormatRegistry& formats,
                                            const std::function<std::u16string(std::u16string_view)>& translate) {
  std::u16string all;
  for (size_t i = 0; i < formats.Count(); ++i) {
    if (!formats.At(i)->create) continue;
    if (!all.empty()) all += u';';
    all += u"*.";
    all += formats.At(i)->extension;
  }
  return {translate(u"图像文件"), all, translate(u"所有文件"), u"*.*"};
}

std::vector<std::u16string> FileDialog::Run(FileDialogRequest request) {
  request.title = title_;
  request.filter = filter_;
  request.filterIndex = filterIndex_;
  std::vector<std::u16string> chosen = CurrentPlatform().ShowFileDialog(owner_, request);
  if (!chosen.empty()) filterIndex_ = request.filterIndex;
  return chosen;
}

std::vector<std::u16string> FileDialog::Open(bool multiple, std::u16string_view initialFolder) {
  FileDialogRequest request;
  request.multiple = multiple;
  request.initialPath = initialFolder;
  return Run(std::move(request));
}

std::optional<std::u16string> FileDialog::Save(std::u16string_view proposedPath) {
  FileDialogRequest request;
  request.save = true;
  request.initialPath = proposedPath;
  std::vector<std::u16string> chosen = Run(std::move(request));
  if (chosen.empty()) return std::nullopt;
  return chosen.front();
}

}  // namespace vt
