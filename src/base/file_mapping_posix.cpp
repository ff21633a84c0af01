#ifndef _WIN32
#include "base/file_mapping.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "base/text.h"

namespace vt {

std::string NativePath(const std::u16string& path) { return Utf16ToUtf8(path); }

MappedFile::~MappedFile() {
  if (mapped_) {
    munmap(const_cast<uint8_t*>(data_), size_);
  } else if (data_) {
    ::operator delete(const_cast<uint8_t*>(data_));
  }
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
  const size_t size = static_cast<size_t>(st.st_size);
  if (size <= kReadInsteadOfMapLimit) {
    // A mapped file that another program truncates turns every later access past
    // the new end into SIGBUS. Windows forbids truncating a mapped file; Linux
    // does not, so files of ordinary size are read into memory instead: a file
    // cut while it is read gives the bytes that were there, never a crash.
    auto* bytes = static_cast<uint8_t*>(::operator new(size, std::nothrow));
    if (!bytes) return status::kCannotOpenFile;
    size_t got = 0;
    while (got < size) {
      ssize_t n = pread(m->fd_, bytes + got, size - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (got == 0) {
      ::operator delete(bytes);
      return status::kCannotOpenFile;
    }
    m->data_ = bytes;
    m->size_ = got;
    close(m->fd_);
    m->fd_ = -1;
  } else {
    void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, m->fd_, 0);
    if (view == MAP_FAILED) return status::kCannotOpenFile;
    m->data_ = static_cast<const uint8_t*>(view);
    m->size_ = size;
    m->mapped_ = true;
  }
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

}  // namespace vt

#endif  // !_WIN32
