#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "ui/popup_menu.h"

namespace vt {
namespace {

constexpr uint32_t kEnter = 0x0D, kEscape = 0x1B, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
constexpr uint32_t kTextColour = 0xFF202020u;

// An owner window that records the keys and presses that reach it.
class RecordingWindow : public ToolkitWindow {
 public:
  bool OnUnboundKey(uint32_t virtualKey, bool down, uint8_t) override {
    if (down) keys.push_back(virtualKey);
    return true;
  }
  void OnMouseButton(int, MouseAction action, ViewPoint, uint8_t) override {
    if (action == MouseAction::kPress) ++presses;
  }
  void OnCommand(uint32_t command, intptr_t) override { commands.push_back(command); }
  std::vector<uint32_t> keys;
  std::vector<uint32_t> commands;
  int presses = 0;
};

// One monitor and an owner window on it.
struct Screen {
  explicit Screen(MonitorInfo monitor) : platform({monitor}) {
    SetCurrentPlatform(&platform);
    WindowCreateParams p;
    p.clientTopLeft = {monitor.workArea.left + 10, monitor.workArea.top + 10};
    p.clientSize = {400, 300};
    owner.CreateToolkitWindow(p);
  }
  ~Screen() { SetCurrentPlatform(nullptr); }
  HeadlessWindow* Native(PopupMenu& m) { return static_cast<HeadlessWindow*>(m.Window()); }
  HeadlessPlatform platform;
  RecordingWindow owner;
};

MonitorInfo Monitor(int32_t height = 1080, uint32_t dpi = 96) {
  return {{0, 0, 1920, height}, {0, 0, 1920, height - 40}, dpi};
}

MenuModel Numbered(int count, uint16_t first = 100) {
  MenuModel m;
  for (int i = 0; i < count; ++i) {
    const std::string t = "Item " + std::to_string(i) + (i == 2 ? " with a longer text" : "");
    m.AddItem(static_cast<uint16_t>(first + i), std::u16string(t.begin(), t.end()));
  }
  return m;
}

TEST(PopupMetricsTest, SizesFollowTheDpi) {
  const struct {
    uint32_t dpi;
    int32_t item, separator, indent, icon;
  } cases[] = {{96, 28, 6, 20, 16},  {120, 35, 8, 25, 16}, {144, 42, 9, 30, 20}, {168, 49, 11, 35, 24},
               {192, 56, 12, 40, 32}, {240, 70, 15, 50, 32}, {288, 84, 18, 60, 48}, {384, 112, 24, 80, 64}};
  for (const auto& c : cases) {
    const PopupMetrics m = PopupMetrics::ForDpi(c.dpi);
    EXPECT_EQ(m.itemHeight, c.item) << c.dpi;
    EXPECT_EQ(m.separatorHeight, c.separator) << c.dpi;
    EXPECT_EQ(m.textIndent, c.indent) << c.dpi;
    EXPECT_EQ(m.iconSize, c.icon) << c.dpi;
  }
}

// Items stack from the top below the spacer; every item row shows its text
// (the fixed-metrics font draws each character as a block).
TEST(PopupMenuTest, ItemsStackAndShowTheirTextsAt96And144Dpi) {
  for (uint32_t dpi : {96u, 144u}) {
    SCOPED_TRACE(dpi);
    Screen s(Monitor(1080, dpi));
    PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, dpi);
    MenuModel model;
    model.AddItem(1, u"AB");
    model.AddItem(2, u"缩放");
    model.AddSeparator();
    model.AddItem(3, u"C").accelerator = u"c-X";
    menu.Build(model);
    ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
    const PopupMetrics m = menu.Metrics();
    EXPECT_EQ(menu.ScreenClientRect().left, 101);  // one pixel of border
    EXPECT_EQ(menu.ScreenClientRect().top, 101);
    EXPECT_EQ(menu.At(0)->Bounds().top, m.spacer);
    EXPECT_EQ(menu.At(1)->Bounds().top, m.spacer + m.itemHeight);
    EXPECT_EQ(menu.At(2)->Bounds().Height(), m.separatorHeight);
    EXPECT_EQ(menu.At(3)->Bounds().top, m.spacer + 2 * m.itemHeight + m.separatorHeight);
    EXPECT_EQ(menu.ScreenClientRect().Height(), 2 * m.spacer + 3 * m.itemHeight + m.separatorHeight);
    const int32_t font = Theme::ForDpi(dpi).font.pixelHeight;
    const int32_t textLeft = m.iconSize + m.textIndent;
    HeadlessWindow* n = s.Native(menu);
    for (size_t i : {0u, 1u, 3u}) {
      const ViewRect r = menu.At(i)->Bounds();
      const int32_t glyphTop = r.top + (r.Height() - font) / 2 + 1;
      EXPECT_EQ(n->Pixel(textLeft + 2, glyphTop + 2), kTextColour) << i;
      EXPECT_NE(n->Pixel(textLeft - 2, glyphTop + 2), kTextColour) << i;
    }
    // The key text ends the indent's width before the right edge.
    const ViewRect last = menu.At(3)->Bounds();
    EXPECT_EQ(n->Pixel(last.right - m.textIndent - 2, last.top + last.Height() / 2), kTextColour);
  }
}

TEST(PopupMenuTest, ALongMenuContinuesInASecondColumnRightOfTheWidestItem) {
  Screen s(Monitor(240));  // work area 200 high: six items fit a column from the top
  PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
  menu.Build(Numbered(10));
  ASSERT_TRUE(menu.Open({50, 0, 51, 1}, false));
  EXPECT_EQ(menu.ColumnCount(), 2);
  const int32_t widest = menu.At(2)->Bounds().Width();
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(menu.At(i)->Bounds().left, 0) << i;
    EXPECT_EQ(menu.At(i)->Bounds().Width(), widest) << i;
  }
  for (size_t i = 6; i < 10; ++i) {
    EXPECT_EQ(menu.At(i)->Bounds().left, widest) << i;
    EXPECT_EQ(menu.At(i)->Bounds().top, menu.At(i - 6)->Bounds().top) << i;
  }
  // Nothing passes the work area's bottom less 2 pixels.
  const ViewRect client = menu.ScreenClientRect();
  EXPECT_LE(client.top + menu.At(5)->Bounds().bottom, 198);
  EXPECT_GT(client.top + menu.At(5)->Bounds().bottom + 28, 198);
}

TEST(PopupMenuTest, AShortMenuNearTheBottomOrRightEdgeMovesInsteadOfSplitting) {
  Screen s(Monitor());
  PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
  menu.Build(Numbered(5));
  ASSERT_TRUE(menu.Open({1900, 1030, 1901, 1031}, false));
  EXPECT_EQ(menu.ColumnCount(), 1);
  const ViewRect r = menu.ScreenClientRect();
  EXPECT_EQ(r.bottom + 1, 1038);         // border included, 2 pixels above the work area's end
  EXPECT_EQ(r.right + 1, 1900);          // opened leftwards from the point
}

struct KeyCase {
  PopupKind kind;
  uint32_t key;
  bool focusItem;
  bool stillOpen;
  bool handled;
  bool closedByKeyboard;
};

TEST(PopupMenuTest, EscapeLeftAndRightPerKind) {
  const KeyCase cases[] = {
      {PopupKind::kContextMenu, kEscape, true, false, true, false},
      {PopupKind::kContextMenu, kLeft, true, true, true, false},  // moves the focus instead
      {PopupKind::kControlDropDown, kEscape, true, false, true, false},
      {PopupKind::kControlDropDown, kLeft, true, false, true, false},
      {PopupKind::kMenuBarDropDown, kEscape, true, false, true, true},
      {PopupKind::kMenuBarDropDown, kLeft, true, false, false, true},
      {PopupKind::kMenuBarDropDown, kRight, false, false, false, true},
      {PopupKind::kContextMenu, kRight, true, true, true, false},  // no submenu: the next item
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.kind)) + " key " + std::to_string(c.key));
    Screen s(Monitor());
    PopupMenu menu(c.kind, &s.owner, nullptr, 96);
    menu.Build(Numbered(3));
    ASSERT_TRUE(menu.Open({100, 100, 200, 130}, c.focusItem));
    EXPECT_EQ(menu.PopupKey(c.key, true, 0), c.handled);
    EXPECT_EQ(menu.IsOpen(), c.stillOpen);
    EXPECT_EQ(menu.ClosedByKeyboard(), c.closedByKeyboard);
  }
}

TEST(PopupMenuTest, ArrowsHomeAndEndMoveTheFocusOverEnabledItemsAndGoRound) {
  Screen s(Monitor());
  PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
  MenuModel model = Numbered(2);
  model.AddSeparator();
  model.AddItem(102, u"off").enabled = false;
  model.AddItem(103, u"last");
  menu.Build(model);
  ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
  EXPECT_EQ(menu.FocusIndex(), -1);  // opened by the mouse: nothing focused
  const struct {
    uint32_t key;
    int focus;
  } steps[] = {{kDown, 0}, {kDown, 1}, {kDown, 4}, {kDown, 0}, {kUp, 4}, {0x24, 0}, {0x23, 4}, {0x09, 0}};
  for (const auto& step : steps) {
    menu.PopupKey(step.key, true, 0);
    EXPECT_EQ(menu.FocusIndex(), step.focus) << step.key;
  }
  // Releases go no further than the popup.
  EXPECT_TRUE(menu.PopupKey('R', false, 0));
  EXPECT_FALSE(menu.PopupKey('R', true, 0));
}

TEST(PopupMenuTest, SubmenusOpenByKeyAndEscapeClosesOnlyTheInnermost) {
  Screen s(Monitor());
  PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
  MenuModel model = Numbered(1);
  model.AddSubmenu(u"More", [](MenuModel& sub) { sub = Numbered(3, 200); });
  menu.Build(model);
  ASSERT_TRUE(menu.Open({100, 100, 101, 101}, true));
  menu.PopupKey(kDown, true, 0);
  ASSERT_EQ(menu.FocusIndex(), 1);
  EXPECT_TRUE(menu.PopupKey(kRight, true, 0));
  PopupMenu* child = menu.OpenChild();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->Kind(), PopupKind::kControlDropDown);
  EXPECT_EQ(child->FocusIndex(), 0);
  EXPECT_EQ(OpenPopupCount(), 2u);
  // Beside its item, level with it.
  const ViewRect item = menu.At(1)->Bounds();
  EXPECT_EQ(child->ScreenClientRect().left, menu.ScreenClientRect().left + item.right + 1);
  EXPECT_EQ(child->ScreenClientRect().top + child->At(0)->Bounds().top,
            menu.ScreenClientRect().top + item.top);
  menu.PopupKey(kDown, true, 0);  // goes to the submenu
  EXPECT_EQ(child->FocusIndex(), 1);
  EXPECT_TRUE(menu.PopupKey(kEscape, true, 0));
  EXPECT_FALSE(child->IsOpen());
  EXPECT_TRUE(menu.IsOpen());
  EXPECT_EQ(menu.FocusIndex(), 1);
  // Opened again by key, the focus is where it was left.
  menu.PopupKey(kRight, true, 0);
  child = menu.OpenChild();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->FocusIndex(), 1);
  // Enter on the submenu's item: the submenu hands the command to its owner,
  // the context menu, which takes it as its result.
  menu.PopupKey(kEnter, true, 0);
  EXPECT_FALSE(child->IsOpen());
  s.platform.Pump();
  EXPECT_EQ(menu.Result(), 201);
  EXPECT_FALSE(menu.IsOpen());
  EXPECT_EQ(OpenPopupCount(), 0u);
}

TEST(PopupMenuTest, MouseChoosesHoverOpensSubmenusAndBackgroundPressesClose) {
  Screen s(Monitor());
  {
    PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
    MenuModel model = Numbered(2);
    model.AddSubmenu(u"More", [](MenuModel& sub) { sub = Numbered(2, 300); });
    menu.Build(model);
    ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
    HeadlessWindow* n = s.Native(menu);
    const ViewRect more = menu.At(2)->Bounds();
    n->SendMouseMove({more.left + 5, more.top + 5});
    EXPECT_EQ(menu.FocusIndex(), 2);
    EXPECT_EQ(menu.OpenChild(), nullptr);
    s.platform.AdvanceTime(PopupMenu::kSubmenuDelay);
    ASSERT_NE(menu.OpenChild(), nullptr);
    // Back on a plain item: the submenu goes after the same wait.
    n->SendMouseMove({5, menu.At(1)->Bounds().top + 5});
    s.platform.AdvanceTime(PopupMenu::kSubmenuDelay);
    EXPECT_EQ(menu.OpenChild(), nullptr);
    n->Click(0, {5, menu.At(1)->Bounds().top + 5});
    EXPECT_EQ(menu.Result(), 101);
    EXPECT_FALSE(menu.IsOpen());
  }
  {
    PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
    menu.Build(Numbered(2));
    ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
    s.Native(menu)->Click(0, {5, 1});  // the spacer above the first item
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_EQ(menu.Result(), 0);
  }
}

TEST(PopupMenuTest, NoMoreThanEightPopupsAndNoneWithoutItems) {
  Screen s(Monitor());
  std::vector<std::unique_ptr<PopupMenu>> menus;
  for (int i = 0; i < 9; ++i) {
    menus.push_back(std::make_unique<PopupMenu>(PopupKind::kContextMenu, &s.owner, nullptr, 96));
    menus.back()->Build(Numbered(1));
    EXPECT_EQ(menus.back()->Open({10 * i, 10, 10 * i + 1, 11}, false), i < 8) << i;
  }
  menus.clear();
  EXPECT_EQ(OpenPopupCount(), 0u);
  PopupMenu empty(PopupKind::kContextMenu, &s.owner, nullptr, 96);
  MenuModel separators;
  separators.AddSeparator();
  empty.Build(separators);
  EXPECT_FALSE(empty.Open({10, 10, 11, 11}, false));
}

// The modal loop: keys typed at the owner reach the menu first; handled ones
// stop there, others go on to the owner.
TEST(PopupMenuTest, ModalLoopTakesTheThreadsKeysAndPresses) {
  Screen s(Monitor());
  const uintptr_t owner = s.owner.Window()->NativeHandle();
  {
    PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
    menu.Build(Numbered(3));
    ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
    for (uint32_t key : {kDown, uint32_t{'R'}, kDown, kEnter}) s.platform.PostKey(owner, key);
    EXPECT_EQ(RunModalMenu(menu, true), 101);
    EXPECT_EQ(s.owner.keys, std::vector<uint32_t>{'R'});
    EXPECT_FALSE(s.platform.MenuCaptureActive());
  }
  {
    PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
    menu.Build(Numbered(3));
    ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
    s.platform.PostKey(owner, kEscape);
    EXPECT_EQ(RunModalMenu(menu, true), 0);
    EXPECT_EQ(s.owner.keys.size(), 1u);
  }
  {
    // A press elsewhere closes the menu and still does what it does.
    PopupMenu menu(PopupKind::kContextMenu, &s.owner, nullptr, 96);
    menu.Build(Numbered(3));
    ASSERT_TRUE(menu.Open({100, 100, 101, 101}, false));
    s.platform.PostMouseButton(owner, 0, MouseAction::kPress, {300, 250});
    EXPECT_EQ(RunModalMenu(menu, true), 0);
    EXPECT_EQ(s.owner.presses, 1);
  }
}

}  // namespace
}  // namespace vt
