#ifdef _WIN32
#include "base/file_mapping.h"

#include <windows.h>

#include "base/text.h"

namespace vt {

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

}  // namespace vt

#endif  // _WIN32
