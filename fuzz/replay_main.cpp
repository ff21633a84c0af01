// Replays every file of the given folders (or single files) through the fuzz
// entry point, so the corpus and past crashers run in the ordinary test suite.
// "--optional=PATH" names a folder that is read when it exists (third-party
// samples outside the project).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const std::string optional = "--optional=";
    const bool isOptional = arg.rfind(optional, 0) == 0;
    if (isOptional) arg = arg.substr(optional.size());
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      for (const auto& e : fs::recursive_directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
    } else if (fs::exists(arg, ec)) {
      files.emplace_back(arg);
    } else if (!isOptional) {
      std::fprintf(stderr, "no such corpus: %s\n", arg.c_str());
      return 2;
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "empty corpus\n");
    return 2;
  }
  for (const fs::path& p : files) {
    std::ifstream f(p, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
