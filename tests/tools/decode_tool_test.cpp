// Runs the built vistrel-decode program as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace vt {
namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
  std::string stdoutOnly;
};

#ifndef _WIN32
std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Capture(const std::string& command, int* exitCode) {
  std::string text;
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) return text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = pclose(p);
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return text;
}

RunResult RunTool(const std::string& arguments) {
  RunResult r;
  const std::string tool = Quote(VT_DECODE_TOOL);
  r.output = Capture(tool + " " + arguments + " 2>&1", &r.exitCode);
  int ignored = 0;
  r.stdoutOnly = Capture(tool + " " + arguments + " 2>/dev/null", &ignored);
  return r;
}
#define SKIP_WITHOUT_SHELL() (void)0
#else
// Under the cross build the program runs in an emulator without a shell to
// redirect its output; these checks run in the native build.
std::string Quote(const std::string& s) { return s; }
RunResult RunTool(const std::string&) { return {}; }
#define SKIP_WITHOUT_SHELL() GTEST_SKIP() << "needs a POSIX shell"
#endif

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(DecodeTool, TextFileIsAnUnknownFormat) {
  SKIP_WITHOUT_SHELL();
  test::TempDir dir;
  const std::string path = dir.Write("notes.txt", "This is not an image, only a line of text.\n");
  const std::string out = dir.Path() + "/out.pam";
  RunResult r = RunTool(Quote(path) + " " + Quote(out));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x80040207")) << r.output;
  EXPECT_TRUE(Contains(r.output, "未知的文件格式")) << r.output;
  EXPECT_TRUE(Contains(r.output, "notes.txt")) << r.output;
  EXPECT_EQ(r.stdoutOnly, "");  // errors go to standard error only
  EXPECT_FALSE(test::FileExists(out));

  // A name outside ASCII reaches the file: the error is about the content, not
  // a file that could not be found.
  const std::string named = dir.Write("图像 文件.png", "still just text");
  r = RunTool(Quote(named));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x80040207")) << r.output;
  EXPECT_TRUE(Contains(r.output, "图像 文件.png")) << r.output;
}

TEST(DecodeTool, EmptyAndMissingFilesCannotBeOpened) {
  SKIP_WITHOUT_SHELL();
  test::TempDir dir;
  const std::string empty = dir.Write("empty.png", "");
  RunResult r = RunTool(Quote(empty));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x80040203")) << r.output;
  EXPECT_TRUE(Contains(r.output, "无法打开文件")) << r.output;

  r = RunTool("--info " + Quote(dir.Path() + "/missing.png"));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x80040203")) << r.output;

  // A folder is not an image file either.
  r = RunTool(Quote(dir.Path()));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x8004020")) << r.output;
}

TEST(DecodeTool, BadUsageExitsWithTwo) {
  SKIP_WITHOUT_SHELL();
  test::TempDir dir;
  const std::string file = dir.Write("a.txt", "text");
  for (const std::string& args :
       {std::string(""), "--bogus " + Quote(file), "--time 0 " + Quote(file),
        "--time " + Quote(file), "--threads x " + Quote(file), "--threads 0 " + Quote(file),
        "--frame -1 " + Quote(file), Quote(file) + " a.pam b.pam",
        "--time 3 " + Quote(file) + " out.pam"}) {
    RunResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.output;
    EXPECT_TRUE(Contains(r.output, "usage: vistrel-decode")) << args;
  }
  RunResult help = RunTool("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.stdoutOnly, "usage: vistrel-decode"));

  // "--" ends the options, so a file named like an option is still a file.
  RunResult r = RunTool("--threads 1 -- --info");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x80040203")) << r.output;
}

#ifndef _WIN32
// Third-party bitmaps decoded by the tool and by netpbm's own converter give the
// same pixels, written as the decoded format and after the viewer's conversion.
TEST(DecodeTool, RealBitmapsMatchNetpbm) {
  if (!test::FileExists("/usr/bin/bmptopnm") || !test::FileExists("/usr/bin/pamtopnm"))
    GTEST_SKIP() << "netpbm is not installed";
  if (!test::FileExists(test::CorpusPath("bmpsuite/g/rgb24.bmp")))
    GTEST_SKIP() << "no bitmap corpus";
  test::TempDir dir;
  for (const char* name : {"rgb24", "rgb32", "pal8", "pal8rle", "pal8topdown"}) {
    const std::string bmp = test::CorpusPath(std::string("bmpsuite/g/") + name + ".bmp");
    const std::string ref = dir.Path() + "/ref.ppm";
    ASSERT_EQ(std::system(("/usr/bin/bmptopnm " + Quote(bmp) + " >" + Quote(ref) + " 2>/dev/null")
                              .c_str()),
              0);
    for (const std::string option : {"", "--bgra8 "}) {
      const std::string pam = dir.Path() + "/out.pam";
      const std::string ppm = dir.Path() + "/out.ppm";
      RunResult r = RunTool(option + Quote(bmp) + " " + Quote(pam));
      ASSERT_EQ(r.exitCode, 0) << name << " " << option << r.output;
      EXPECT_EQ(r.stdoutOnly.rfind("frame 0: 127x64 ", 0), 0u) << r.stdoutOnly;
      ASSERT_EQ(std::system(("/usr/bin/pamtopnm " + Quote(pam) + " >" + Quote(ppm) + " 2>/dev/null")
                                .c_str()),
                0);
      EXPECT_EQ(test::ReadFileBytes(ppm), test::ReadFileBytes(ref)) << name << " " << option;
    }
  }
  const std::string bmp = test::CorpusPath("bmpsuite/g/pal8.bmp");
  RunResult r = RunTool("--time 3 --threads 1 " + Quote(bmp));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Contains(r.stdoutOnly, "ms median of 3")) << r.stdoutOnly;
  // A frame the image does not have.
  r = RunTool("--frame 1 " + Quote(bmp) + " " + Quote(dir.Path() + "/f1.pam"));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x80040201")) << r.output;
  EXPECT_FALSE(test::FileExists(dir.Path() + "/f1.pam"));
}
#endif

}  // namespace
}  // namespace vt
