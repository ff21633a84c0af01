#include "base/file_write.h"

#include <algorithm>

#include "base/file_mapping.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vt {

#ifdef _WIN32

namespace {
const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
}  // namespace

Status ReplaceFileContents(const std::u16string& path, const std::u16string& temporaryPath,
                           std::span<const uint8_t> bytes, bool hidden) {
  // A hidden file can only be recreated by a call that asks for the hidden
  // attribute too; a left-over temporary file of an earlier crash is removed
  // first so that either attribute works.
  SetFileAttributesW(Wide(temporaryPath), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(Wide(temporaryPath));
  HANDLE file = CreateFileW(Wide(temporaryPath), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return status::kCannotCreateFile;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += written;
  }
  ok = ok && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (ok) ok = MoveFileExW(Wide(temporaryPath), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) {
    DeleteFileW(Wide(temporaryPath));
    return status::kCannotWriteFile;
  }
  return status::kOk;
}

bool RemoveFile(const std::u16string& path) {
  if (DeleteFileW(Wide(path))) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

#else

Status ReplaceFileContents(const std::u16string& path, const std::u16string& temporaryPath,
                           std::span<const uint8_t> bytes, bool /*hidden*/) {
  const std::string temp = NativePath(temporaryPath);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return status::kCannotCreateFile;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), NativePath(path).c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return status::kCannotWriteFile;
  }
  return status::kOk;
}

bool RemoveFile(const std::u16string& path) {
  return ::unlink(NativePath(path).c_str()) == 0 || errno == ENOENT;
}

#endif

}  // namespace vt
