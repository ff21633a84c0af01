#include "base/cpu_features.h"

#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#include <cpuid.h>
#define VT_X86 1
#endif

namespace vt {

namespace {
CpuFeatures Detect() {
  CpuFeatures f;
  const char* scalar = std::getenv("VISTREL_SCALAR");
  if (scalar && *scalar && std::strcmp(scalar, "0") != 0) return f;
#ifdef VT_X86
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    f.sse = (edx >> 25) & 1;
    f.sse2 = (edx >> 26) & 1;
    f.ssse3 = (ecx >> 9) & 1;
    f.sse41 = (ecx >> 19) & 1;
  }
#endif
  return f;
}
}  // namespace

const CpuFeatures& GetCpuFeatures() {
  static const CpuFeatures features = Detect();
  return features;
}

uint32_t SystemProcessorCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

}  // namespace vt
