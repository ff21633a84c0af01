// Replacing files through a temporary file and a rename, on POSIX systems.
#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_mapping.h"
#include "base/file_write.h"

namespace vt {

namespace {
// The temporary names tried beside a user's file: "name.~vt0" ... "name.~vt9".
constexpr int kTemporaryNames = 10;

std::u16string TemporaryName(const std::u16string& path, int i) {
  return path + u".~vt" + static_cast<char16_t>(u'0' + i);
}
}  // namespace

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

}  // namespace vt

#endif  // _WIN32
