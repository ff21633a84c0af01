#pragma once
#include <cstdint>

namespace vt {

struct CpuFeatures {
  bool sse = false;
  bool sse2 = false;
  bool ssse3 = false;
  bool sse41 = false;
};

// Read once at start-up (CPUID). Setting VISTREL_SCALAR=1 in the environment
// reports no vector features, which forces every kernel onto its scalar path so
// that a fault can be bisected between the two.
const CpuFeatures& GetCpuFeatures();
// Processor count from the operating system, at least 1.
uint32_t SystemProcessorCount();

}  // namespace vt
