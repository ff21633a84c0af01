#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vt {

// File-system services the portable core needs beyond reading files: folder
// enumeration, existence tests, change watching and the memory figure the
// read-ahead checks. The Windows and POSIX implementations are
// file_system_win32.cpp and file_system_posix.cpp.

// The separator the core appends when it builds a path. Both '\' and '/' are
// accepted when a path is split.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The longest path, in characters including its terminating NUL, that the
// program builds or keeps (folder patterns, navigation results).
inline constexpr size_t kMaxPath = 260;

inline bool IsPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Whether two paths or names name the same file under the system's rule: case
// is ignored on Windows (where '/' and '\' are the same separator) and
// significant on POSIX file systems.
bool SameFileName(std::u16string_view a, std::u16string_view b);

// The path made absolute against the process's current folder, with "." and
// ".." steps resolved by name (as the system resolves them for a full path
// name). The path unchanged when it is empty or the current folder is unknown.
std::u16string AbsolutePath(const std::u16string& path);

// One entry of a folder as the enumeration reports it.
struct DirectoryEntry {
  std::u16string_view name;
  uint64_t size = 0;
  uint64_t lastWriteTime = 0;  // 100-ns units since 1601-01-01 (UTC)
  bool isFolder = false;
  bool isHidden = false;
};

// Calls visit for each entry matching pattern ("folder\*", or a wildcard in the
// last component) in the order the system returns them. visit returns false to
// stop. False when the folder cannot be listed.
bool EnumerateDirectory(const std::u16string& pattern,
                        const std::function<bool(const DirectoryEntry&)>& visit);

// True when path names an existing file, folder or drive.
bool PathExists(std::u16string_view path);

// Size and precise last-write time of a file, for telling apart two versions of
// a file written within the same second.
struct FileStamp {
  uint64_t size = 0;
  uint64_t lastWriteTime = 0;  // 100-ns units since 1601-01-01 (UTC)
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
bool GetFileStamp(const std::u16string& path, FileStamp* out);

// Physical memory available to the process, in bytes; 0 when unknown.
uint64_t AvailablePhysicalMemory();

// Change notifications for one folder (names created, removed or renamed, and
// files written), not its subfolders. Wait() may be called from one thread while
// another calls Stop().
class DirectoryWatch {
 public:
  enum class WaitResult { Changed, TimedOut, Stopped };
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  // Nothing when the folder cannot be watched.
  static std::unique_ptr<DirectoryWatch> Start(const std::u16string& folder);
  virtual ~DirectoryWatch() = default;

  // Blocks until a change arrives, the time runs out or Stop() is called. A
  // change stays reported until Rearm().
  virtual WaitResult Wait(uint32_t milliseconds) = 0;
  // Consumes the changes seen so far so that Wait() blocks for new ones.
  virtual void Rearm() = 0;
  // Wakes Wait() for good; callable from any thread.
  virtual void Stop() = 0;
};

}  // namespace vt
