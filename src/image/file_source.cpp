#include "image/file_source.h"

namespace vt {

namespace {

uint32_t ClampSize(size_t n) { return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(n); }

class MappedFileSource : public FileSource {
 public:
  MappedFileSource(std::u16string path, std::unique_ptr<MappedFile> file)
      : path_(std::move(path)), file_(std::move(file)) {}
  const uint8_t* Data() const override { return file_->Data(); }
  uint32_t Size() const override { return ClampSize(file_->Size()); }
  const std::u16string& Path() const override { return path_; }
  bool LastWriteTime(FileTime* out) const override { return GetFileLastWriteTime(path_, out); }

 private:
  std::u16string path_;
  std::unique_ptr<MappedFile> file_;
};

class MemorySource : public FileSource {
 public:
  MemorySource(std::u16string path, std::string bytes)
      : path_(std::move(path)), bytes_(std::move(bytes)) {}
  const uint8_t* Data() const override {
    return bytes_.empty() ? nullptr : reinterpret_cast<const uint8_t*>(bytes_.data());
  }
  uint32_t Size() const override { return ClampSize(bytes_.size()); }
  const std::u16string& Path() const override { return path_; }
  bool LastWriteTime(FileTime*) const override { return false; }

 private:
  std::u16string path_;
  std::string bytes_;
};

}  // namespace

Status OpenFileSource(const std::u16string& path, RefPtr<FileSource>* out) {
  out->reset();
  std::unique_ptr<MappedFile> file;
  Status s = MappedFile::Open(path, &file);
  if (Failed(s)) return status::kCannotOpenFile;
  *out = MakeRef<MappedFileSource>(path, std::move(file));
  return status::kOk;
}

RefPtr<FileSource> MakeMemorySource(std::u16string path, std::string bytes) {
  return MakeRef<MemorySource>(std::move(path), std::move(bytes));
}

}  // namespace vt
