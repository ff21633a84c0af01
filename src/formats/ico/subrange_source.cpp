#include "formats/ico/subrange_source.h"

#include <algorithm>

namespace vt {

namespace {

class SubrangeSource final : public FileSource {
 public:
  SubrangeSource(FileSource* parent, size_t offset, size_t size) : parent_(parent) {
    const size_t total = parent->Size();
    offset_ = std::min(offset, total);
    size_ = std::min(size, total - offset_);
  }
  const uint8_t* Data() const override {
    const uint8_t* base = parent_->Data();
    return base ? base + offset_ : nullptr;
  }
  uint32_t Size() const override { return static_cast<uint32_t>(size_); }
  const std::u16string& Path() const override { return parent_->Path(); }
  bool LastWriteTime(FileTime* out) const override { return parent_->LastWriteTime(out); }

 private:
  RefPtr<FileSource> parent_;
  size_t offset_ = 0;
  size_t size_ = 0;
};

}  // namespace

RefPtr<FileSource> MakeSubrangeSource(FileSource* parent, size_t offset, size_t size) {
  if (!parent) return {};
  return RefPtr<FileSource>::Adopt(new SubrangeSource(parent, offset, size));
}

}  // namespace vt
