#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "base/text.h"

namespace vt::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static int counter = 0;
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() /
                 ("vistrel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::string full = (fs::path(path_) / name).string();
  std::ofstream f(full, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return full;
}

std::u16string U16(const std::string& utf8) { return Utf8ToUtf16(utf8); }
std::string U8(const std::u16string& utf16) { return Utf16ToUtf8(utf16); }

std::string CorpusPath(const std::string& relative) {
  return (fs::path(VT_CORPUS_DIR) / relative).string();
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

}  // namespace vt::test
