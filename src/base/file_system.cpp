#include "base/file_system.h"

#include "base/text.h"

#include <filesystem>
#include <system_error>

namespace vt {

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
