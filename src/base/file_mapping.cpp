#include "base/file_mapping.h"

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace vt {

#ifdef _WIN32

namespace {
const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
}  // namespace

MappedFile::~MappedFile() {
  if (data_) UnmapViewOfFile(data_);
  if (mapping_) CloseHandle(mapping_);
  if (file_ && file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

Status MappedFile::Open(const std::u16string& path, std::unique_ptr<MappedFile>* out) {
  out->reset();
  std::unique_ptr<MappedFile> m(new MappedFile());
  HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return status::kCannotOpenFile;
  m->file_ = file;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0) return status::kCannotOpenFile;
  if (static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) return status::kCannotOpenFile;
  m->mapping_ = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!m->mapping_) return status::kCannotOpenFile;
  void* view = MapViewOfFile(m->mapping_, FILE_MAP_READ, 0, 0, 0);
  if (!view) return status::kCannotOpenFile;
  m->data_ = static_cast<const uint8_t*>(view);
  m->size_ = static_cast<size_t>(size.QuadPart);
  *out = std::move(m);
  return status::kOk;
}

bool GetFileLastWriteTime(const std::u16string& path, FileTime* out) {
  HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME ft;
  SYSTEMTIME st;
  bool ok = GetFileTime(file, nullptr, nullptr, &ft) && FileTimeToSystemTime(&ft, &st);
  CloseHandle(file);
  if (!ok) return false;
  *out = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return true;
}

Status ReadWholeFile(const std::u16string& path, std::string* out) {
  std::unique_ptr<MappedFile> m;
  Status s = MappedFile::Open(path, &m);
  if (Failed(s)) return s;
  out->assign(reinterpret_cast<const char*>(m->Data()), m->Size());
  return status::kOk;
}

#else

std::string NativePath(const std::u16string& path) { return Utf16ToUtf8(path); }

MappedFile::~MappedFile() {
  if (data_) munmap(const_cast<uint8_t*>(data_), size_);
  if (fd_ >= 0) close(fd_);
}

Status MappedFile::Open(const std::u16string& path, std::unique_ptr<MappedFile>* out) {
  out->reset();
  std::unique_ptr<MappedFile> m(new MappedFile());
  m->fd_ = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (m->fd_ < 0) return status::kCannotOpenFile;
  struct stat st;
  if (fstat(m->fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
    return status::kCannotOpenFile;
  void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, m->fd_, 0);
  if (view == MAP_FAILED) return status::kCannotOpenFile;
  m->data_ = static_cast<const uint8_t*>(view);
  m->size_ = static_cast<size_t>(st.st_size);
  *out = std::move(m);
  return status::kOk;
}

bool GetFileLastWriteTime(const std::u16string& path, FileTime* out) {
  struct stat st;
  if (stat(NativePath(path).c_str(), &st) != 0) return false;
  // Windows keeps file times in UTC and the pipeline shows them unconverted;
  // do the same here so both systems print the same text for the same file.
  struct tm tm;
  time_t t = st.st_mtime;
  if (!gmtime_r(&t, &tm)) return false;
  *out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
}

Status ReadWholeFile(const std::u16string& path, std::string* out) {
  int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return status::kCannotOpenFile;
  out->clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      close(fd);
      return status::kCannotReadFile;
    }
    if (n == 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return status::kOk;
}

#endif

}  // namespace vt
