// Every sample file of the corpus table through the load pipeline: the status
// it must give and the hash of the canvases it must show. The table is written
// by make_corpus_hashes.py from reference decoders; each row's comment says
// which one, and the tolerance where a reference differs by design (the hash
// is then of these pixels, checked against the reference within it).
//
// With VT_CORPUS_DUMP=<folder> the test instead loads each path listed in
// <folder>/list.txt and writes what it would hash to <folder>/<line>.dump, for
// the script.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "reader_test_util.h"

namespace vt {
namespace {

struct Row {
  const char* path;  // in the shared corpus, or in the project (tests/, fuzz/)
  Status status;
  uint64_t hash;       // 0: no reference decodes this file
  const char* frames;  // canvases hashed, empty for all
};

const Row kRows[] = {
#include "corpus_hashes.inc"
};

std::string Resolve(const std::string& path) {
  const bool own = path.rfind("tests/", 0) == 0 || path.rfind("fuzz/", 0) == 0;
  return own ? std::string(VT_SOURCE_DIR) + "/" + path : test::CorpusPath(path);
}

struct Result {
  Status status;
  std::vector<test::Canvas> canvases;
};

Result LoadRow(const std::string& path) {
  test::Loaded l = test::LoadFile(Resolve(path), {.allFrames = true});
  if (!l.Ok()) return {l.status, {}};
  return {l.status, test::Canvases(l.image.get())};
}

void Dump(const std::string& folder) {
  std::ifstream list(folder + "/list.txt");
  int i = 0;
  for (std::string path; std::getline(list, path); ++i) {
    const Result r = LoadRow(path);
    std::ofstream out(folder + "/" + std::to_string(i) + ".dump", std::ios::binary);
    out << static_cast<uint32_t>(r.status) << " " << r.canvases.size() << "\n";
    for (const test::Canvas& c : r.canvases) {
      out << c.width << " " << c.height << " " << c.bits << "\n";
      for (uint16_t s : c.rgba) {
        out.put(static_cast<char>(s & 0xFF));
        if (c.bits == 16) out.put(static_cast<char>(s >> 8));
      }
    }
  }
  std::printf("dumped %d files\n", i);
}

TEST(Corpus, EveryFileGivesItsStatusAndTheReferencePixels) {
  // References round to nearest; the viewer's dithering is for display only.
  ConversionOptions& options = GlobalConversionOptions();
  const ConversionOptions saved = options;
  options.dithering = false;
  if (const char* folder = std::getenv("VT_CORPUS_DUMP")) {
    Dump(folder);
    options = saved;
    GTEST_SKIP() << "dump mode";
  }
  ASSERT_TRUE(test::FileExists(test::CorpusPath("README.md"))) << "the shared corpus is missing";
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    const Result r = LoadRow(row.path);
#ifdef _WIN32
    if (r.status == status::kMissingDll) continue;  // libwebp.dll is not beside the tests
#endif
    EXPECT_EQ(r.status, row.status) << std::hex << r.status;
    if (row.hash && Succeeded(r.status)) {
      EXPECT_EQ(test::CanvasHash(r.canvases, row.frames), row.hash) << "pixels differ";
    }
  }
  options = saved;
}

}  // namespace
}  // namespace vt
