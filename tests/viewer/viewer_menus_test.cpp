#include <gtest/gtest.h>

#include <string>

#include "ui/key_bindings.h"
#include "viewer/view_command.h"
#include "viewer/viewer_menus.h"

namespace vt::test {
namespace {

// A menu as one line: commands by number, "-" disabled, "*" checked, "|" a
// separator, a submenu in brackets.
std::string Flatten(const MenuModel& m) {
  std::string out;
  for (const MenuEntry& e : m.Entries()) {
    if (!out.empty()) out += ' ';
    if (e.separator) {
      out += '|';
      continue;
    }
    if (e.submenu) {
      MenuModel sub;
      e.submenu(sub);
      out += "[" + Flatten(sub) + "]";
      continue;
    }
    out += std::to_string(e.command);
    if (!e.enabled) out += '-';
    if (e.checked) out += '*';
  }
  return out;
}

ViewerMenuText PlainText() {
  ViewerMenuText t;
  t.translate = [](std::u16string_view s) { return std::u16string(s); };
  t.keysOf = [](uint16_t c) {
    const std::string n = "k" + std::to_string(c);
    return std::u16string(n.begin(), n.end());
  };
  return t;
}

const std::string kFile =
    "[20003 20004 | 20006 20007 | 20036- 20034 20038- 20046 | 30278 30279 | 20040- 20041- 20039- 20042- 20043- 20044- 20045- | "
    "20048- 20049- 20054 20055 | 20063]";
const std::string kSlides = "[20051- 20050- 20053]";
const std::string kTail = " | 20035 20008 | 20056- 20062 20064";

struct MenuCase {
  const char* name;
  ViewerMenuState state;
  std::string expected;
};

ViewerMenuState State(bool maximized, bool topmost, double zoom, ViewSize image, ViewSize zoomed, ViewSize client) {
  ViewerMenuState s;
  s.maximized = maximized;
  s.topmost = topmost;
  s.zoom = zoom;
  s.imageSize = image;
  s.zoomedSize = zoomed;
  s.clientSize = client;
  return s;
}

TEST(ViewerMenus, ContentsPerStateWithConditionalItemsAndCheckMarks) {
  ViewerMenuState frozen = State(false, false, 1, {64, 48}, {64, 48}, {64, 48});
  frozen.frozen = true;
  ViewerMenuState slideshow = frozen;
  slideshow.slideshow = true;
  slideshow.slideshowFullScreen = true;
  ViewerMenuState kept = State(true, true, 0.125, {4000, 3000}, {500, 375}, {1920, 1080});
  kept.keepZoom = true;
  kept.checkerboard = true;
  kept.slideshowFullScreen = true;
  kept.orientation = 4 | 8;
  kept.animated = true;
  kept.paused = true;
  const MenuCase cases[] = {
      {"normal, image as large as the window", State(false, false, 1, {320, 240}, {320, 240}, {320, 240}),
       "20000 20005 | 20001 20002 | " + kFile +
           " [20057 20061 20033 | 20030 20028 20029 20031 20032 | 20025 20026 "
           "[20016 20017 20018 20019 20020* 20021 20022 20023 20024] 30273 30274 | 20047- 20060] " +
           kSlides + kTail},
      {"zoomed in beyond the window", State(false, false, 2, {800, 600}, {1600, 1200}, {1000, 700}),
       "20000 20005 | 20001 20002 | " + kFile +
           " [20057 20012 20011 20013 20014 20061 20033 | 20030 20028 20029 20031 20032 | 20025 20026 "
           "[20016 20017 20018 20019 20020 20021 20022* 20023 20024] 30273 30274 | 20047- 20060] " +
           kSlides + kTail},
      {"full screen, topmost, mirrored, keep zoom, checkerboard, a paused animation", kept,
       "20058 20000 20005 | 20001 20002 | " + kFile +
           " [20058 20012 20011 20013 20061* | 20030 20028 20029 20031* 20032* | 30275* 30276 30277 | 20025 20026 "
           "[20016* 20017 20018 20019 20020 20021 20022 20023 20024] 30273* 30274* | 20047- 20060] "
           "[20051- 20050- 20053*]" + kTail},
      {"frozen", frozen, "20033 20005 | 20000 20001 20002 | 20025 20026 | 20062 20064"},
      {"slideshow", slideshow, "20052 20053*"},
  };
  for (const MenuCase& c : cases) EXPECT_EQ(Flatten(BuildViewerMenu(c.state, PlainText())), c.expected) << c.name;
}

TEST(ViewerMenus, TextsKeysAndSubmenuNames) {
  ViewerMenuState s = State(false, false, 1, {320, 240}, {320, 240}, {320, 240});
  ViewerMenuText text = PlainText();
  text.translate = [](std::u16string_view t) { return u"<" + std::u16string(t) + u">"; };
  const MenuModel m = BuildViewerMenu(s, text);
  const auto& top = m.Entries();
  EXPECT_EQ(top[0].text, u"<加载新的>");
  EXPECT_EQ(top[0].accelerator, u"k20000");
  EXPECT_EQ(top[6].text, u"<文件>");
  EXPECT_EQ(top[7].text, u"<查看>");
  EXPECT_EQ(top[8].text, u"<幻灯片>");
  MenuModel view;
  top[7].submenu(view);
  // Full screen shows the keys of the toggle.
  EXPECT_EQ(view.Entries()[0].text, u"<全屏模式>");
  EXPECT_EQ(view.Entries()[0].accelerator, u"k20015");
  const MenuEntry* factor = nullptr;
  const MenuEntry* keep = nullptr;
  for (const MenuEntry& e : view.Entries()) {
    if (e.text == u"<缩放到因子>") factor = &e;
    if (e.text == u"<保持缩放>") keep = &e;
  }
  ASSERT_NE(factor, nullptr);
  ASSERT_NE(keep, nullptr);
  EXPECT_TRUE(keep->accelerator.empty());
  MenuModel presets;
  factor->submenu(presets);
  EXPECT_EQ(presets.Entries()[0].text, u"<缩放到 12% 大小>");
}

TEST(ViewerMenus, CheckedZoomPresetTruncatesThePercentage) {
  const struct {
    double zoom;
    uint16_t command;
  } cases[] = {{0.125, kCmdZoom12}, {0.25, kCmdZoom25}, {0.7499, kCmdZoom75}, {1.0, kCmdZoom100},
               {0.9999, kCmdZoom100}, {1.5, kCmdZoom150}, {8.0, kCmdZoom800}, {0.3, 0}, {1.189, 0}, {0.11, 0}};
  for (const auto& c : cases) EXPECT_EQ(CheckedZoomPreset(c.zoom), c.command) << c.zoom;
}

}  // namespace
}  // namespace vt::test
