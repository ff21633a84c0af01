#pragma once
// The one dispatch point of every family of vector kernels (row conversions,
// scaling, PNG filters, bitmap rows, JPEG kernels, colour models). A family is
// a struct of function pointers: the scalar reference fills it, and each
// instruction set's translation unit has an installer that replaces the
// kernels it has a variant of. The levels are built once, on first use, from
// the processor's features; VISTREL_SCALAR=1 in the environment leaves only
// the scalar level, so that a fault can be bisected between the two.
#include <cstddef>
#include <cstdint>

#include "base/cpu_features.h"

namespace vt {

enum class SimdLevel : uint8_t { Scalar = 0, Sse2 = 1, Ssse3 = 2 };
inline constexpr size_t kSimdLevelCount = 3;

// The best level the processor offers (Scalar under VISTREL_SCALAR=1).
inline SimdLevel ProcessorSimdLevel() {
  const CpuFeatures& f = GetCpuFeatures();
  if (f.sse2 && f.ssse3) return SimdLevel::Ssse3;
  return f.sse2 ? SimdLevel::Sse2 : SimdLevel::Scalar;
}

template <class Kernels>
class SimdKernels {
 public:
  // Puts a level's variants into the kernels; false when the build has no
  // code for that instruction set. Null: the family has no such level.
  using Installer = bool (*)(Kernels& kernels);

  // Each level starts as a copy of the best available level below it, so an
  // installer may replace only some kernels. A level is available when the
  // processor has its instructions and its installer succeeds.
  SimdKernels(const Kernels& scalar, Installer sse2, Installer ssse3) {
    const Installer installers[kSimdLevelCount] = {nullptr, sse2, ssse3};
    const size_t processor = static_cast<size_t>(ProcessorSimdLevel());
    sets_[0] = scalar;
    available_[0] = true;
    size_t best = 0;
    for (size_t level = 1; level < kSimdLevelCount; ++level) {
      sets_[level] = sets_[best];
      available_[level] =
          installers[level] && level <= processor && installers[level](sets_[level]);
      if (available_[level]) best = level;
    }
    active_ = static_cast<SimdLevel>(best);
  }

  // The best available level's kernels: the ones to run.
  const Kernels& Active() const { return sets_[static_cast<size_t>(active_)]; }
  SimdLevel ActiveLevel() const { return active_; }
  // A given level's kernels, null when unavailable (tests and benchmarks
  // compare the levels).
  const Kernels* At(SimdLevel level) const {
    const size_t i = static_cast<size_t>(level);
    return i < kSimdLevelCount && available_[i] ? &sets_[i] : nullptr;
  }

 private:
  Kernels sets_[kSimdLevelCount] = {};
  bool available_[kSimdLevelCount] = {};
  SimdLevel active_ = SimdLevel::Scalar;
};

}  // namespace vt
