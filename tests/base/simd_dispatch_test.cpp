#include "base/simd_dispatch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace vt {
namespace {

// A family of two "kernels": each level's installer replaces one of them.
struct Family {
  int a = 0;
  int b = 0;
};
bool SetA(Family& f) {
  f.a = 2;
  return true;
}
bool SetB(Family& f) {
  f.b = 3;
  return true;
}
bool NotBuilt(Family&) { return false; }

TEST(SimdDispatch, EachLevelBuildsOnTheBestLevelBelowIt) {
  const SimdLevel cpu = ProcessorSimdLevel();
  const bool sse2 = cpu >= SimdLevel::Sse2, ssse3 = cpu >= SimdLevel::Ssse3;
  struct Case {
    SimdKernels<Family>::Installer sse2, ssse3;
    bool haveSse2, haveSsse3;
    int ssse3A;  // what the SSSE3 level inherits
  } cases[] = {
      {SetA, SetB, sse2, ssse3, 2},
      {nullptr, SetB, false, ssse3, 1},  // no SSE2 level: SSSE3 starts from scalar
      {NotBuilt, NotBuilt, false, false, 0},
  };
  for (const Case& c : cases) {
    const SimdKernels<Family> k(Family{1, 1}, c.sse2, c.ssse3);
    ASSERT_NE(k.At(SimdLevel::Scalar), nullptr);
    EXPECT_EQ(k.At(SimdLevel::Scalar)->a, 1);
    ASSERT_EQ(k.At(SimdLevel::Sse2) != nullptr, c.haveSse2);
    if (c.haveSse2) {
      EXPECT_EQ(k.At(SimdLevel::Sse2)->a, 2);
    }
    ASSERT_EQ(k.At(SimdLevel::Ssse3) != nullptr, c.haveSsse3);
    if (c.haveSsse3) {
      EXPECT_EQ(k.At(SimdLevel::Ssse3)->a, c.ssse3A);
      EXPECT_EQ(k.At(SimdLevel::Ssse3)->b, 3);
    }
    const SimdLevel best = c.haveSsse3  ? SimdLevel::Ssse3
                           : c.haveSse2 ? SimdLevel::Sse2
                                        : SimdLevel::Scalar;
    EXPECT_EQ(k.ActiveLevel(), best);
    EXPECT_EQ(&k.Active(), k.At(best));
  }
}

// The processor's level as the compiler's own feature test sees it, unless
// VISTREL_SCALAR=1 (the simd_scalar test runs this with it) forces scalar.
TEST(SimdDispatch, ProcessorLevelFollowsTheFeaturesAndTheScalarOverride) {
  const char* env = std::getenv("VISTREL_SCALAR");
  const bool forced = env && *env && std::strcmp(env, "0") != 0;
  SimdLevel expected = SimdLevel::Scalar;
#if defined(__x86_64__) || defined(__i386__)
  if (!forced && __builtin_cpu_supports("sse2"))
    expected = __builtin_cpu_supports("ssse3") ? SimdLevel::Ssse3 : SimdLevel::Sse2;
#endif
  EXPECT_EQ(ProcessorSimdLevel(), expected);
  const SimdKernels<Family> k(Family{1, 1}, SetA, SetB);
  EXPECT_EQ(k.ActiveLevel(), expected);
  if (forced) {
    EXPECT_EQ(k.At(SimdLevel::Sse2), nullptr);
  }
}

}  // namespace
}  // namespace vt
