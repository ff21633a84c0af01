// Running the built decoder tool and reading back the PAM files it writes.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace vt::tool_test {

struct RunResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
  std::string stdoutOnly;
};

#ifndef _WIN32
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Capture(const std::string& command, int* exitCode) {
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

inline RunResult RunTool(const std::string& arguments) {
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
inline std::string Quote(const std::string& s) { return s; }
inline RunResult RunTool(const std::string&) { return {}; }
#define SKIP_WITHOUT_SHELL() GTEST_SKIP() << "needs a POSIX shell"
#endif

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct Pam {
  uint32_t width = 0, height = 0, depth = 0, maxval = 0;
  std::string tupleType;
  std::vector<uint32_t> samples;
};

// Reads a PAM file's bytes, checking the header's shape on the way.
inline bool ParsePam(const std::string& bytes, Pam* pam) {
  const size_t end = bytes.find("ENDHDR\n");
  if (bytes.rfind("P7\n", 0) != 0 || end == std::string::npos) return false;
  std::istringstream header(bytes.substr(3, end - 3));
  std::string key;
  while (header >> key) {
    if (key == "WIDTH") header >> pam->width;
    else if (key == "HEIGHT") header >> pam->height;
    else if (key == "DEPTH") header >> pam->depth;
    else if (key == "MAXVAL") header >> pam->maxval;
    else if (key == "TUPLTYPE") header >> pam->tupleType;
    else return false;
  }
  const size_t bytesPerSample = pam->maxval > 255 ? 2 : 1;
  const size_t count = size_t{pam->width} * pam->height * pam->depth;
  const size_t start = end + 7;
  if (bytes.size() - start != count * bytesPerSample) return false;
  for (size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + start + i * bytesPerSample);
    pam->samples.push_back(bytesPerSample == 2 ? uint32_t{p[0]} << 8 | p[1] : p[0]);
  }
  return true;
}

}  // namespace vt::tool_test
