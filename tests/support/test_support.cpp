#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "base/text.h"

namespace vt::test {

namespace fs = std::filesystem;

namespace {
// Paths in tests are UTF-8; on Windows a narrow path would be read in the ANSI
// code page, so they go through char8_t.
fs::path FromUtf8(const std::string& s) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
}
std::string ToUtf8(const fs::path& p) {
  std::u8string u = p.u8string();
  return std::string(reinterpret_cast<const char*>(u.data()), u.size());
}
}  // namespace

TempDir::TempDir() {
  static int counter = 0;
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() /
                 ("vistrel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = ToUtf8(p);
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(FromUtf8(path_), ec);
}


std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  fs::path full = FromUtf8(path_) / FromUtf8(name);
  std::ofstream f(full, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return ToUtf8(full);
}

std::u16string U16(const std::string& utf8) { return Utf8ToUtf16(utf8); }
std::string U8(const std::u16string& utf16) { return Utf16ToUtf8(utf16); }

std::string CorpusPath(const std::string& relative) {
  return (fs::path(VT_CORPUS_DIR) / relative).string();
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(FromUtf8(path), ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(FromUtf8(path), std::ios::binary);
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
