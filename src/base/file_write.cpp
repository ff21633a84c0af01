#include "base/file_write.h"

#include "base/file_mapping.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace vt {

namespace {

// The temporary names tried beside the file: "name.~vt0" ... "name.~vt9".
constexpr int kTemporaryNames = 10;

std::u16string TemporaryName(const std::u16string& path, int i) {
  return path + u".~vt" + static_cast<char16_t>(u'0' + i);
}

}  // namespace

#ifdef _WIN32

namespace {
const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
}  // namespace

Status ReplaceFileContents(const std::u16string& path, std::span<const uint8_t> bytes, bool keepTime) {
  FILETIME oldTime{};
  bool haveTime = false;
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (keepTime) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    haveTime = GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &d) != 0;
    if (haveTime) oldTime = d.ftLastWriteTime;
  }
  for (int i = 0; i < kTemporaryNames; ++i) {
    const std::u16string temp = TemporaryName(path, i);
    HANDLE f = CreateFileW(Wide(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return status::kCannotCreateFile;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      ok = WriteFile(f, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
      done += written;
    }
    if (ok && haveTime) ok = SetFileTime(f, nullptr, nullptr, &oldTime) != 0;
    ok = ok && FlushFileBuffers(f);
    CloseHandle(f);
    if (ok) ok = MoveFileExW(Wide(temp), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) {
      DeleteFileW(Wide(temp));
      return status::kCannotWriteFile;
    }
    // After the move: a temporary file made read-only first could not be
    // deleted when the move fails.
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(Wide(path), attributes);
    return status::kOk;
  }
  return status::kCannotCreateFile;
}

Status RemoveFile(const std::u16string& path) {
  if (DeleteFileW(Wide(path))) return status::kOk;
  const DWORD e = GetLastError();
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? status::kOk : status::kCannotWriteFile;
}

#else

Status ReplaceFileContents(const std::u16string& path, std::span<const uint8_t> bytes, bool keepTime) {
  const std::string native = NativePath(path);
  struct stat old;
  const bool existed = stat(native.c_str(), &old) == 0;
  for (int i = 0; i < kTemporaryNames; ++i) {
    const std::string temp = NativePath(TemporaryName(path, i));
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existed ? (old.st_mode & 07777) : 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return status::kCannotCreateFile;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<size_t>(n);
    }
    // The creation mask may have narrowed the permissions; the file replaced sets them.
    if (ok && existed) ok = fchmod(fd, old.st_mode & 07777) == 0;
    if (ok && keepTime && existed) {
      const struct timespec times[2] = {old.st_atim, old.st_mtim};
      ok = futimens(fd, times) == 0;
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temp.c_str(), native.c_str()) == 0;
    if (!ok) {
      unlink(temp.c_str());
      return status::kCannotWriteFile;
    }
    return status::kOk;
  }
  return status::kCannotCreateFile;
}

Status RemoveFile(const std::u16string& path) {
  if (unlink(NativePath(path).c_str()) == 0 || errno == ENOENT) return status::kOk;
  return status::kCannotWriteFile;
}

#endif

}  // namespace vt
