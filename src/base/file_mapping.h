#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/status.h"

namespace vt {

// Calendar time of a file's last write, as the file system keeps it (no time
// zone conversion).
struct FileTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// A whole file mapped read-only. Files of 0 bytes cannot be mapped and fail to
// open, as do missing files and folders.
class MappedFile {
 public:
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // kCannotOpenFile on any failure.
  static Status Open(const std::u16string& path, std::unique_ptr<MappedFile>* out);

  std::span<const uint8_t> Bytes() const { return {data_, size_}; }
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  MappedFile() = default;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
#ifdef _WIN32
  void* file_ = nullptr;
  void* mapping_ = nullptr;
#else
  // Files up to this size are read rather than mapped (see Open).
  static constexpr size_t kReadInsteadOfMapLimit = size_t{256} << 20;
  int fd_ = -1;
  bool mapped_ = false;
#endif
};

// The last-write time of the file at path; false when the file cannot be opened.
bool GetFileLastWriteTime(const std::u16string& path, FileTime* out);

// Reads a whole file into memory (for small files of the program's own).
Status ReadWholeFile(const std::u16string& path, std::string* out);

#ifndef _WIN32
// Linux paths are UTF-8 bytes; the core keeps them as UTF-16.
std::string NativePath(const std::u16string& path);
#endif

}  // namespace vt
