// Runs the built vistrel-decode program as a user would. Under the cross build
// the program runs in an emulator without a shell to capture its output: these
// checks run in the native build.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>

namespace vt {
namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct ToolRun {
  int exitCode = -1;
  std::string output, stdoutOnly;  // standard output and error together, and output alone
  explicit ToolRun(const std::string& arguments) {
    output = Capture(arguments + " 2>&1", &exitCode);
    int ignored;
    stdoutOnly = Capture(arguments + " 2>/dev/null", &ignored);
  }
  static std::string Capture(const std::string& arguments, int* exitCode) {
    std::string text;
    std::FILE* p = popen((Quote(VT_DECODE_TOOL) + " " + arguments).c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    const int status = p ? pclose(p) : -1;
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return text;
  }
  bool Says(const std::string& part) const { return output.find(part) != std::string::npos; }
};

TEST(DecodeTool, RefusalsAndUsage) {
  test::TempDir dir;
  const std::string text = dir.Write("notes.txt", "This is not an image, only a line of text.\n");
  const struct {
    std::string arguments;
    int exitCode;
    const char* says;
  } kCases[] = {
      {Quote(text) + " " + Quote(dir.Path() + "/out.pam"), 1, "0x80040207 未知的文件格式"},
      // A name outside ASCII reaches the file: the error is about the content.
      {Quote(dir.Write("图像 文件.png", "still just text")), 1, "图像 文件.png: 0x80040207"},
      {Quote(dir.Write("empty.png", "")), 1, "0x80040203 无法打开文件"},
      {"--info " + Quote(dir.Path() + "/missing.png"), 1, "0x80040203"},
      {Quote(dir.Path()), 1, "0x8004020"},         // a folder
      {"--threads 1 -- --info", 1, "0x80040203"},  // "--" ends the options
      {"", 2, "usage: vistrel-decode"},
      {"--bogus " + Quote(text), 2, "usage: vistrel-decode"},
      {"--time 0 " + Quote(text), 2, "usage: vistrel-decode"},
      {"--time " + Quote(text), 2, "usage: vistrel-decode"},
      {"--threads x " + Quote(text), 2, "usage: vistrel-decode"},
      {"--threads 0 " + Quote(text), 2, "usage: vistrel-decode"},
      {"--frame -1 " + Quote(text), 2, "usage: vistrel-decode"},
      {Quote(text) + " a.pam b.pam", 2, "usage: vistrel-decode"},
      {"--time 3 " + Quote(text) + " out.pam", 2, "usage: vistrel-decode"},
  };
  for (const auto& c : kCases) {
    const ToolRun r(c.arguments);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << "\n" << r.output;
    EXPECT_TRUE(r.Says(c.says)) << c.arguments << "\n" << r.output;
    if (c.exitCode == 1) {
      EXPECT_EQ(r.stdoutOnly, "") << "errors go to standard error only";
    }
  }
  EXPECT_FALSE(test::FileExists(dir.Path() + "/out.pam"));
  const ToolRun help("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.stdoutOnly.find("usage: vistrel-decode"), std::string::npos);
}

// The frame lines, and the written frame equal to the pipeline's own decode
// after the viewer's conversion (the corpus table checks those pixels against
// references); without the conversion, in the decoded precision.
TEST(DecodeTool, WritesTheFrameThePipelineDecodes) {
  FormatRegistry registry;
  RegisterBuiltinFormats(registry);
  test::TempDir dir;
  const std::string pam = dir.Path() + "/out.pam";
  for (const char* file :
       {"bmpsuite/g/rgb24.bmp", "bmpsuite/g/pal8rle.bmp", "gif/peterdn/gifs/animated_loop.gif"}) {
    const std::string path = test::CorpusPath(file);
    RefPtr<ImageBuffer> image;
    ASSERT_EQ(LoadImageFile(registry, test::U16(path), true, false, &image), status::kOk) << file;
    ImageBuffer* last = image.get();
    while (last->Next()) last = last->Next();
    const ToolRun r("--bgra8 --frame " + std::to_string(image->ChainLength() - 1) + " " +
                    Quote(path) + " " + Quote(pam));
    ASSERT_EQ(r.exitCode, 0) << file << r.output;
    EXPECT_EQ(r.stdoutOnly.rfind("frame 0: " + std::to_string(image->Width()) + "x", 0), 0u)
        << r.stdoutOnly;
    RefPtr<ImageBuffer> want = Convert(last, PixelFormat::Bgra8, false, false);
    const std::string written = test::ReadFileBytes(pam);
    const size_t header = written.rfind("ENDHDR\n") + 7;
    ASSERT_EQ(written.size() - header, size_t{want->Width()} * want->Height() * 4) << file;
    for (uint32_t y = 0; y < want->Height(); ++y)
      for (uint32_t x = 0; x < want->Width(); ++x) {
        const uint8_t* q = want->Row(y) + 4 * x;
        const uint8_t rgba[4] = {q[2], q[1], q[0],
                                 last->Alpha() == AlphaMode::None ? uint8_t{255} : q[3]};
        ASSERT_EQ(
            0, std::memcmp(written.data() + header + 4 * (size_t{y} * want->Width() + x), rgba, 4))
            << file << " " << x << "," << y;
      }
  }
  ToolRun sixteen(Quote(test::CorpusPath("pngsuite/png/basn2c16.png")) + " " + Quote(pam));
  ASSERT_EQ(sixteen.exitCode, 0) << sixteen.output;
  EXPECT_NE(test::ReadFileBytes(pam).find("MAXVAL 65535\n"), std::string::npos);
  // A frame the image does not have, and the timing mode.
  const std::string bmp = Quote(test::CorpusPath("bmpsuite/g/pal8.bmp"));
  ToolRun r("--frame 1 " + bmp + " " + Quote(dir.Path() + "/f1.pam"));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(r.Says("0x80040201")) << r.output;
  EXPECT_FALSE(test::FileExists(dir.Path() + "/f1.pam"));
  r = ToolRun("--time 3 --threads 1 " + bmp);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(r.Says("ms median of 3")) << r.output;
}

}  // namespace
}  // namespace vt
#endif
