// Replacing files through a temporary file and a rename, on Windows.
#ifdef _WIN32
#include <windows.h>

#include <algorithm>

#include "base/file_write.h"

namespace vt {

namespace {

// The temporary names tried beside a user's file: "name.~vt0" ... "name.~vt9".
constexpr int kTemporaryNames = 10;

std::u16string TemporaryName(const std::u16string& path, int i) {
  return path + u".~vt" + static_cast<char16_t>(u'0' + i);
}
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

}  // namespace vt

#endif  // _WIN32
