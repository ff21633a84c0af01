// POSIX side of the file-system services (file_system.h): dirent, stat,
// inotify and eventfd.
#ifndef _WIN32
#include "base/file_system.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/file_mapping.h"
#include "base/text.h"

namespace vt {

namespace {

uint64_t ToFileTime(const struct timespec& t) {
  // Seconds from 1601-01-01 to 1970-01-01.
  constexpr int64_t kEpochDelta = 11644473600;
  int64_t s = static_cast<int64_t>(t.tv_sec) + kEpochDelta;
  if (s < 0) return 0;
  return static_cast<uint64_t>(s) * 10000000u + static_cast<uint64_t>(t.tv_nsec / 100);
}

class InotifyDirectoryWatch final : public DirectoryWatch {
 public:
  InotifyDirectoryWatch(int notify, int stop) : notify_(notify), stop_(stop) {}
  ~InotifyDirectoryWatch() override {
    close(notify_);
    close(stop_);
  }
  WaitResult Wait(uint32_t ms) override {
    struct pollfd fds[2] = {{stop_, POLLIN, 0}, {notify_, POLLIN, 0}};
    int timeout = ms == kInfinite ? -1 : static_cast<int>(ms);
    for (;;) {
      int r = poll(fds, 2, timeout);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return WaitResult::Stopped;
      if (r == 0) return WaitResult::TimedOut;
      if (fds[0].revents) return WaitResult::Stopped;
      return WaitResult::Changed;
    }
  }
  void Rearm() override {
    alignas(struct inotify_event) char buf[4096];
    while (read(notify_, buf, sizeof buf) > 0) {
    }
  }
  void Stop() override {
    uint64_t one = 1;
    ssize_t n = write(stop_, &one, sizeof one);
    (void)n;
  }

 private:
  int notify_;
  int stop_;
};

}  // namespace

bool SameFileName(std::u16string_view a, std::u16string_view b) { return a == b; }

bool EnumerateDirectory(const std::u16string& pattern,
                        const std::function<bool(const DirectoryEntry&)>& visit) {
  size_t cut = pattern.size();
  while (cut > 0 && !IsPathSeparator(pattern[cut - 1])) --cut;
  std::string folder = NativePath(pattern.substr(0, cut));
  std::string wildcard = NativePath(pattern.substr(cut));
  if (folder.empty()) folder = ".";
  const bool all = wildcard == "*";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  const int dfd = dirfd(dir);
  while (struct dirent* d = readdir(dir)) {
    if (!all && fnmatch(wildcard.c_str(), d->d_name, 0) != 0) continue;
    struct stat st;
    // Symbolic links count as what they point to; a dangling one as itself. An
    // entry that vanished since readdir is left out.
    if (fstatat(dfd, d->d_name, &st, 0) != 0 &&
        fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    std::u16string name = Utf8ToUtf16(d->d_name);
    DirectoryEntry e;
    e.name = name;
    e.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    e.lastWriteTime = ToFileTime(st.st_mtim);
    e.isFolder = S_ISDIR(st.st_mode);
    e.isHidden = d->d_name[0] == '.';
    if (!visit(e)) break;
  }
  closedir(dir);
  return true;
}

bool PathExists(std::u16string_view path) {
  if (path.empty()) return false;
  struct stat st;
  return stat(NativePath(std::u16string(path)).c_str(), &st) == 0;
}

bool GetFileStamp(const std::u16string& path, FileStamp* out) {
  struct stat st;
  if (stat(NativePath(path).c_str(), &st) != 0) return false;
  out->size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  out->lastWriteTime = ToFileTime(st.st_mtim);
  return true;
}

uint64_t AvailablePhysicalMemory() {
  FILE* f = std::fopen("/proc/meminfo", "re");
  if (!f) return 0;
  char line[256];
  uint64_t kib = 0;
  bool found = false;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long v = 0;
    if (std::sscanf(line, "MemAvailable: %llu kB", &v) == 1) {
      kib = v;
      found = true;
      break;
    }
  }
  std::fclose(f);
  return found ? kib * 1024 : 0;
}

std::unique_ptr<DirectoryWatch> DirectoryWatch::Start(const std::u16string& folder) {
  int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (notify < 0) return nullptr;
  // Names created, removed or renamed, files written or touched, and the folder
  // itself going away.
  const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                        IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
  std::string native = NativePath(folder);
  if (native.empty()) native = "/";
  if (inotify_add_watch(notify, native.c_str(), mask | IN_ONLYDIR) < 0) {
    close(notify);
    return nullptr;
  }
  int stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop < 0) {
    close(notify);
    return nullptr;
  }
  return std::make_unique<InotifyDirectoryWatch>(notify, stop);
}

}  // namespace vt

#endif  // !_WIN32
