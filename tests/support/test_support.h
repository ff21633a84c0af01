#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vt::test {

// A fresh folder under the system's temporary folder, removed when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  // Writes bytes to a file in the folder and returns its full path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& utf16);
// A path inside ../shared/corpus (third-party test files).
std::string CorpusPath(const std::string& relative);
bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
// Deterministic pseudo-random bytes for kernel comparisons.
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed);

}  // namespace vt::test
