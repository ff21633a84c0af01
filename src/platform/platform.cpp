#include "platform/platform.h"

namespace vt {

namespace {
Platform* g_platform = nullptr;
}

Platform& CurrentPlatform() { return *g_platform; }
void SetCurrentPlatform(Platform* platform) { g_platform = platform; }

}  // namespace vt
