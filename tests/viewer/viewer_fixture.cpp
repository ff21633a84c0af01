#include "viewer/viewer_fixture.h"

namespace vt::test {

namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v);
  Put16(s, v >> 16);
}

}  // namespace

std::string MakeBmp(int32_t width, int32_t height, const std::function<uint32_t(int, int)>& pixel) {
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
  std::string s = "BM";
  Put32(s, 54 + imageBytes);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, static_cast<uint32_t>(width));
  Put32(s, static_cast<uint32_t>(height));
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, imageBytes);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 0);
  Put32(s, 0);
  for (int y = height - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      const uint32_t c = pixel(x, y);
      row.push_back(static_cast<char>(c));
      row.push_back(static_cast<char>(c >> 8));
      row.push_back(static_cast<char>(c >> 16));
    }
    row.resize(rowBytes, '\0');
    s += row;
  }
  return s;
}

std::string SolidBmp(int32_t width, int32_t height, uint32_t colour) {
  return MakeBmp(width, height, [colour](int, int) { return colour; });
}

ViewerFixture::ViewerFixture(std::vector<MonitorInfo> monitors) : platform(std::move(monitors)) {
  SetCurrentPlatform(&platform);
  FormatRegistry& formats = GlobalFormatRegistry();
  if (formats.Count() == 0) RegisterBuiltinFormats(formats);
  SettingsEnvironment env;
  env.programPath = u"/opt/vistrel/vistrel.exe";
  env.builtInKeyBindings = [] { return BuiltInViewerBindingEntries(); };
  settings = std::make_unique<Settings>(&store, env);
  settings->Load();
  cache = RefPtr<ImageCache>::Adopt(new ImageCache(&formats, &GlobalNavigator()));
  app = std::make_unique<ViewerApp>(platform, *settings, *cache, GlobalNavigator());
}

ViewerFixture::~ViewerFixture() {
  app.reset();
  cache->Join();
  SetCurrentPlatform(nullptr);
}

ViewerWindow* ViewerFixture::Open(const std::string& path, const ArgumentList& arguments) {
  ViewerWindow* w = app->OpenWindow(U16(path), &arguments, nullptr);
  platform.Pump();
  return w;
}

}  // namespace vt::test
