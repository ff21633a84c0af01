#include "base/file_system.h"

#include "base/file_mapping.h"
#include "base/text.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
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
#endif

namespace vt {

#ifdef _WIN32

namespace {

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

uint64_t Join64(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

class Win32DirectoryWatch final : public DirectoryWatch {
 public:
  Win32DirectoryWatch(HANDLE change, HANDLE stop) : change_(change), stop_(stop) {}
  ~Win32DirectoryWatch() override {
    FindCloseChangeNotification(change_);
    CloseHandle(stop_);
  }
  WaitResult Wait(uint32_t ms) override {
    // The stop event comes first so that a stop wins over a pending change.
    HANDLE handles[2] = {stop_, change_};
    DWORD r = WaitForMultipleObjects(2, handles, FALSE, ms == kInfinite ? INFINITE : ms);
    if (r == WAIT_OBJECT_0 + 1) return WaitResult::Changed;
    if (r == WAIT_TIMEOUT) return WaitResult::TimedOut;
    return WaitResult::Stopped;  // the stop event, or a handle that broke
  }
  void Rearm() override { FindNextChangeNotification(change_); }
  void Stop() override { SetEvent(stop_); }

 private:
  HANDLE change_;
  HANDLE stop_;
};

}  // namespace

bool SameFileName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  // Either separator names the same path.
  std::u16string x(a), y(b);
  for (char16_t& c : x) c = c == u'/' ? u'\\' : c;
  for (char16_t& c : y) c = c == u'/' ? u'\\' : c;
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(x.data()), static_cast<int>(x.size()),
                              reinterpret_cast<const wchar_t*>(y.data()), static_cast<int>(y.size()),
                              TRUE) == CSTR_EQUAL;
}

bool EnumerateDirectory(const std::u16string& pattern,
                        const std::function<bool(const DirectoryEntry&)>& visit) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW(Wide(pattern), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    DirectoryEntry e;
    e.name = std::u16string_view(reinterpret_cast<const char16_t*>(fd.cFileName));
    e.size = Join64(fd.nFileSizeHigh, fd.nFileSizeLow);
    e.lastWriteTime = Join64(fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime);
    e.isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.isHidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    if (!visit(e)) break;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return true;
}

bool PathExists(std::u16string_view path) {
  if (path.empty()) return false;
  if (path.size() == 2 && path[1] == u':') {
    char16_t c = AsciiLower(path[0]);
    if (c < u'a' || c > u'z') return false;
    return (GetLogicalDrives() >> (c - u'a')) & 1;
  }
  std::u16string full;
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' &&
      path[2] != u'.') {
    full = u"\\\\?\\UNC\\";
    full.append(path.substr(2));
  } else if (path[0] != u'/' && path.size() + 1 >= kMaxPath + 1) {
    full = u"\\\\?\\";
    full.append(path);
  } else {
    full.assign(path);
  }
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(Wide(full), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    FindClose(h);
    return true;
  }
  // A search cannot name a drive root or a folder given with a trailing
  // separator ("C:\", "\\server\share\"); those still exist.
  return GetFileAttributesW(Wide(full)) != INVALID_FILE_ATTRIBUTES;
}

bool GetFileStamp(const std::u16string& path, FileStamp* out) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &d)) return false;
  out->size = Join64(d.nFileSizeHigh, d.nFileSizeLow);
  out->lastWriteTime = Join64(d.ftLastWriteTime.dwHighDateTime, d.ftLastWriteTime.dwLowDateTime);
  return true;
}

uint64_t AvailablePhysicalMemory() {
  MEMORYSTATUSEX m;
  m.dwLength = sizeof m;
  if (!GlobalMemoryStatusEx(&m)) return 0;
  return m.ullAvailPhys;
}

std::unique_ptr<DirectoryWatch> DirectoryWatch::Start(const std::u16string& folder) {
  HANDLE change = FindFirstChangeNotificationW(
      Wide(folder), FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (change == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stop) {
    FindCloseChangeNotification(change);
    return nullptr;
  }
  return std::make_unique<Win32DirectoryWatch>(change, stop);
}

#else  // POSIX

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

#endif

std::u16string AbsolutePath(const std::u16string& path) {
  if (path.empty()) return path;
  std::error_code error;
#ifdef _WIN32
  const std::filesystem::path given(std::wstring(path.begin(), path.end()));
#else
  const std::filesystem::path given(Utf16ToUtf8(path));
#endif
  const std::filesystem::path full = std::filesystem::absolute(given, error);
  if (error) return path;
#ifdef _WIN32
  const std::wstring out = full.lexically_normal().wstring();
  return std::u16string(out.begin(), out.end());
#else
  return Utf8ToUtf16(full.lexically_normal().string());
#endif
}

}  // namespace vt
