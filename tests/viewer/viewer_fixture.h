#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/settings.h"
#include "files/navigate.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "image/image_cache.h"
#include "platform/headless/headless_platform.h"
#include "platform/memory_settings_store.h"
#include "support/test_support.h"
#include "ui/key_bindings.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_window.h"

namespace vt::test {

// A 24-bit bottom-up Windows bitmap whose pixel (x, y) has the colour
// pixel(x, y) (blue, green, red bytes of the low 24 bits).
std::string MakeBmp(int32_t width, int32_t height, const std::function<uint32_t(int, int)>& pixel);
// A bitmap of one colour.
std::string SolidBmp(int32_t width, int32_t height, uint32_t colour);

// One 1920 x 1080 monitor (work area 1920 x 1040 at 96 dpi) and a serving
// instance on it with settings in memory.
class ViewerFixture : public ::testing::Test {
 protected:
  explicit ViewerFixture(std::vector<MonitorInfo> monitors = {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96}});
  ~ViewerFixture() override;

  OptionsBlock& Options() { return settings->Options(); }
  // Opens path through the open-window request and runs the queued layout.
  ViewerWindow* Open(const std::string& path, const ArgumentList& arguments = {});
  static HeadlessWindow* Native(ViewerWindow* w) { return static_cast<HeadlessWindow*>(w->Window()); }
  std::u16string TitleOf(ViewerWindow* w) { return w->Window()->Title(); }

  HeadlessPlatform platform;
  MemorySettingsStore store;
  std::unique_ptr<Settings> settings;
  RefPtr<ImageCache> cache;
  std::unique_ptr<ViewerApp> app;
  TempDir dir;
};

}  // namespace vt::test
