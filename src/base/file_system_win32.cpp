// Windows side of the file-system services (file_system.h).
#ifdef _WIN32
#include "base/file_system.h"

#include <windows.h>

#include "base/file_mapping.h"
#include "base/text.h"

namespace vt {

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

}  // namespace vt

#endif  // _WIN32
