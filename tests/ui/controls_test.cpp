#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "ui/controls/buttons.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/edit_field.h"
#include "ui/controls/list_view.h"
#include "ui/controls/menu_bar_button.h"
#include "ui/controls/slider.h"
#include "ui/dialog.h"
#include "ui/file_dialog.h"

namespace vt {
namespace {

constexpr uint32_t kBack = 0x08, kTab = 0x09, kEnter = 0x0D, kEscape = 0x1B, kSpace = 0x20, kPageUp = 0x21,
                   kPageDown = 0x22, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27,
                   kDown = 0x28, kInsert = 0x2D, kDelete = 0x2E, kF4 = 0x73;
constexpr uint8_t kShift = kModifierShift, kCtrl = kModifierCtrl, kAlt = kModifierAlt;

// A dialog that counts its controls' notifications.
class TestDialog : public Dialog {
 public:
  void OnControlNotify(Control& control, uint16_t code) override {
    notes.push_back({&control, code});
    Dialog::OnControlNotify(control, code);
  }
  void OnCommand(uint32_t command, intptr_t argument) override {
    if (command < kPopupPressedNotice) commands.push_back(command);
    Dialog::OnCommand(command, argument);
  }
  std::vector<uint32_t> commands;
  int Count(const Control& c, uint16_t code) const {
    int n = 0;
    for (const auto& [who, what] : notes) n += who == &c && what == code;
    return n;
  }
  std::vector<std::pair<Control*, uint16_t>> notes;
};

class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() : platform({}) {
    SetCurrentPlatform(&platform);
    dialog.CreateDialog(nullptr, u"Test", {400, 300});
    dialog.Window()->Show(ShowState::kNormal, true);
  }
  ~ControlsTest() override { SetCurrentPlatform(nullptr); }
  HeadlessWindow* Native() { return static_cast<HeadlessWindow*>(dialog.Window()); }
  bool Key(uint32_t key, uint8_t modifiers = 0) { return Native()->SendKey(key, modifiers); }
  void Type(std::u16string_view text) {
    for (char16_t c : text) Native()->SendChar(c);
  }

  HeadlessPlatform platform;
  TestDialog dialog;
};

TEST_F(ControlsTest, EditFieldCaretSelectionAndClipboardKeys) {
  EditField& edit = dialog.Add<EditField>();
  edit.SetBounds({10, 10, 210, 34});
  dialog.SetFocus(&edit);
  struct Step {
    std::u16string_view typed;  // characters, or else the key below
    uint32_t key;
    uint8_t modifiers;
    std::u16string_view text;
    size_t caret, anchor;
  };
  const Step steps[] = {
      {u"hello world", 0, 0, u"hello world", 11, 11},
      {{}, kLeft, kCtrl, u"hello world", 6, 6},
      {{}, kRight, kShift | kCtrl, u"hello world", 11, 6},
      {{}, 'C', kCtrl, u"hello world", 11, 6},
      {u"there", 0, 0, u"hello there", 11, 11},
      {{}, kHome, 0, u"hello there", 0, 0},
      {{}, kRight, kShift, u"hello there", 1, 0},
      {{}, kRight, kShift, u"hello there", 2, 0},
      {{}, kDelete, 0, u"llo there", 0, 0},
      {{}, kEnd, 0, u"llo there", 9, 9},
      {{}, kBack, kCtrl, u"llo ", 4, 4},
      {{}, 'V', kCtrl, u"llo world", 9, 9},
      {{}, kLeft, 0, u"llo world", 8, 8},
      {{}, kBack, 0, u"llo word", 7, 7},
      {{}, 'A', kCtrl, u"llo word", 8, 0},
      {{}, kLeft, 0, u"llo word", 0, 0},  // a selection collapses to its start
      {{}, kEnd, kShift, u"llo word", 8, 0},
      {{}, 'X', kCtrl, u"", 0, 0},
      {{}, kInsert, kShift, u"llo word", 8, 8},
      {{}, kHome, kShift, u"llo word", 0, 8},
      {{}, kDelete, kShift, u"", 0, 0},  // cut
      {u"a\U0001F600b", 0, 0, u"a\U0001F600b", 4, 4},
      {{}, kLeft, 0, u"a\U0001F600b", 3, 3},
      {{}, kLeft, 0, u"a\U0001F600b", 1, 1},  // over the pair as one character
      {{}, kDelete, 0, u"ab", 1, 1},
      {u"\x01\x1B\r", 0, 0, u"ab", 1, 1},  // control characters are keys, not text
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.typed.begin(), s.typed.end()) + " key " + std::to_string(s.key));
    if (!s.typed.empty())
      Type(s.typed);
    else
      EXPECT_TRUE(Key(s.key, s.modifiers));
    EXPECT_EQ(edit.Text(), s.text);
    EXPECT_EQ(edit.Caret(), s.caret);
    EXPECT_EQ(edit.HasSelection() ? (edit.Caret() == edit.SelectionEnd() ? edit.SelectionStart() : edit.SelectionEnd())
                                  : edit.Caret(),
              s.anchor);
  }
  EXPECT_EQ(platform.ClipboardText(), u"llo word");
  EXPECT_GE(dialog.Count(edit, kNotifyChanged), 10);
  // Up, Down, Tab and Enter are the dialog's.
  EXPECT_FALSE(edit.OnKey(kUp, true, 0));
  EXPECT_FALSE(edit.OnKey(kEnter, true, 0));
}

TEST_F(ControlsTest, EditFieldKeepsToItsLengthAndScrollsToTheCaret) {
  EditField& edit = dialog.Add<EditField>(u"", 8);
  edit.SetBounds({10, 10, 60, 34});  // 50 wide: 42 inside, seven 6-pixel characters
  dialog.SetFocus(&edit);
  Type(u"abcdefghijk");
  EXPECT_EQ(edit.Text(), u"abcdefgh");
  EXPECT_EQ(edit.ScrollOffset(), 8 * 6 - 42 + 1);
  Key(kHome);
  EXPECT_EQ(edit.ScrollOffset(), 0);
  // A click puts the caret at the nearest gap between characters.
  Native()->Click(0, {10 + 4 + 2 * 6 + 2, 20});
  EXPECT_EQ(edit.Caret(), 2u);
}

TEST_F(ControlsTest, SliderStepsAndStaysInItsRange) {
  Slider& slider = dialog.Add<Slider>(0, 100, 50, 10);
  slider.SetBounds({10, 10, 210, 34});
  dialog.SetFocus(&slider);
  const struct {
    uint32_t key;
    int32_t value;
  } steps[] = {{kRight, 51}, {kUp, 50}, {kDown, 51}, {kLeft, 50}, {kPageDown, 60}, {kPageUp, 50},
               {kEnd, 100}, {kRight, 100}, {kPageDown, 100}, {kHome, 0}, {kLeft, 0}, {kPageUp, 0}};
  for (const auto& s : steps) {
    EXPECT_TRUE(Key(s.key));
    EXPECT_EQ(slider.Value(), s.value) << s.key;
  }
  EXPECT_EQ(dialog.Count(slider, kNotifyChanged), 8);  // only real changes
  slider.SetValueText([](int32_t v) { return u"x" + std::u16string(1, char16_t(u'0' + v / 10)); });
  EXPECT_EQ(slider.ValueText(), u"x0");
  // A press on the track jumps there.
  Native()->SendMouseButton(0, MouseAction::kPress, {10 + 6, 20});
  EXPECT_EQ(slider.Value(), 0);
  Native()->SendMouseMove({300, 20});
  EXPECT_EQ(slider.Value(), 100);
  Native()->SendMouseButton(0, MouseAction::kRelease, {300, 20});
}

TEST_F(ControlsTest, TabGoesRoundTheControlsThatCanTakeTheFocus) {
  dialog.Add<Label>(u"Name").SetBounds({10, 10, 60, 30});
  EditField& edit = dialog.Add<EditField>();
  edit.SetBounds({70, 10, 200, 30});
  PushButton& off = dialog.Add<PushButton>(u"Off");
  off.SetBounds({10, 40, 80, 60});
  off.SetEnabled(false);
  CheckBox& check = dialog.Add<CheckBox>(u"Check");
  check.SetBounds({10, 70, 200, 90});
  PushButton& hidden = dialog.Add<PushButton>(u"Hidden");
  hidden.SetVisible(false);
  PushButton& ok = dialog.Add<PushButton>(u"OK");
  ok.SetBounds({10, 100, 80, 120});
  const std::vector<Control*> forward = {&edit, &check, &ok, &edit, &check};
  for (Control* expected : forward) {
    EXPECT_TRUE(Key(kTab));
    EXPECT_EQ(dialog.Focused(), expected);
  }
  for (Control* expected : std::vector<Control*>{&edit, &ok, &check}) {
    EXPECT_TRUE(Key(kTab, kShift));
    EXPECT_EQ(dialog.Focused(), expected);
  }
  // Space toggles the check box on release; on a button it clicks, as Enter does.
  Key(kSpace);
  EXPECT_TRUE(check.IsChecked());
  EXPECT_EQ(dialog.Count(check, kNotifyClicked), 1);
  dialog.SetFocus(&ok);
  Key(kSpace);
  Key(kEnter);
  EXPECT_EQ(dialog.Count(ok, kNotifyClicked), 2);
  // A click on a control focuses it.
  Native()->Click(0, {80, 20});
  EXPECT_EQ(dialog.Focused(), &edit);
}

TEST_F(ControlsTest, DialogEnterPushesTheDefaultButtonAndEscapeCancels) {
  EditField& edit = dialog.Add<EditField>();
  edit.SetBounds({10, 10, 200, 30});
  PushButton& ok = dialog.Add<PushButton>(u"OK");
  ok.SetBounds({10, 100, 80, 120});
  PushButton& cancel = dialog.Add<PushButton>(u"Cancel");
  cancel.SetBounds({90, 100, 160, 120});
  dialog.SetDefaultButton(&ok);
  dialog.SetCancelButton(&cancel);
  dialog.SetFocus(&edit);
  Key(kEnter);
  EXPECT_EQ(dialog.Count(ok, kNotifyClicked), 1);
  Key(kEscape);
  EXPECT_EQ(dialog.Count(cancel, kNotifyClicked), 1);
  // Run modally: the queued Escape ends it with 0 (no cancel button now).
  dialog.SetCancelButton(nullptr);
  platform.PostKey(dialog.Window()->NativeHandle(), kEscape);
  EXPECT_EQ(dialog.RunModal(), 0);
  EXPECT_FALSE(dialog.Exists());
}

// While a dialog runs, its owner takes neither keys, clicks nor the close
// box (a second command would run inside the dialog's loop); after it, it does.
TEST_F(ControlsTest, ModalDialogDisablesItsOwnerWhileItRuns) {
  struct Owner : ToolkitWindow {
    int keys = 0, closes = 0;
    bool OnUnboundKey(uint32_t, bool down, uint8_t) override { return down && ++keys; }
    void OnCloseRequest() override { ++closes; }
  } owner;
  WindowCreateParams params;
  params.title = u"owner";
  params.clientSize = {400, 300};
  ASSERT_TRUE(owner.CreateToolkitWindow(params));
  auto* ownerWindow = static_cast<HeadlessWindow*>(owner.Window());
  Dialog modal;
  ASSERT_TRUE(modal.CreateDialog(&owner, u"d", {200, 100}));
  EXPECT_EQ(modal.Window()->Frame(), FrameStyle::kDialog);
  platform.PostKey(ownerWindow->NativeHandle(), 'A');
  ownerWindow->PostCloseRequest();
  platform.onNestedLoopIdle = [&] {
    EXPECT_FALSE(ownerWindow->IsEnabled());
    ownerWindow->SendKey('B');
    modal.EndDialog(7);
    platform.onNestedLoopIdle = nullptr;
    return true;
  };
  EXPECT_EQ(modal.RunModal(), 7);
  EXPECT_EQ(owner.keys, 0);
  EXPECT_EQ(owner.closes, 0);
  EXPECT_TRUE(ownerWindow->IsEnabled());
  ownerWindow->SendKey('C');
  EXPECT_EQ(owner.keys, 1);
}

TEST_F(ControlsTest, ComboBoxChoosesByKeysAndThroughItsList) {
  ComboBox& combo = dialog.Add<ComboBox>(std::vector<std::u16string>{u"左", u"右", u"中心"}, 0);
  combo.SetId(7);
  combo.SetBounds({10, 10, 150, 34});
  dialog.SetFocus(&combo);
  Key(kDown);
  EXPECT_EQ(combo.Selected(), 1);
  Key(kEnd);
  EXPECT_EQ(combo.Selected(), 2);
  Key(kDown);
  EXPECT_EQ(combo.Selected(), 2);
  Key(kHome);
  EXPECT_EQ(combo.Selected(), 0);
  EXPECT_EQ(dialog.Count(combo, kNotifySelection), 3);
  // Alt+Down opens the list below the box, at least as wide, on the chosen entry.
  Key(kDown, kAlt);
  PopupMenu* list = combo.OpenPopupMenu();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->FocusIndex(), 0);
  const ViewPoint origin = dialog.Window()->ClientOrigin();
  EXPECT_EQ(list->ScreenClientRect().top, origin.y + 34 + 1);
  EXPECT_GE(list->ScreenClientRect().Width(), 140 - 2);
  Key(kDown);  // through the combo to its list
  Key(kEnter);
  EXPECT_EQ(combo.OpenPopupMenu(), nullptr);
  platform.Pump();  // the list's choice comes back as a command
  EXPECT_EQ(combo.Selected(), 1);
  // F4 opens it too; Escape closes only the list.
  Key(kF4);
  ASSERT_NE(combo.OpenPopupMenu(), nullptr);
  Key(kEscape);
  EXPECT_EQ(combo.OpenPopupMenu(), nullptr);
  EXPECT_TRUE(dialog.Exists());
}

// A menu bar: the drop-down opens 3 pixels right and 5 below its button;
// Left closes it (flagged as closed by keyboard) and the focus goes to the
// button before; a choice is posted to the window as a command.
TEST_F(ControlsTest, MenuBarDropDownsOpenBelowTheirButtonAndHandBackLeftAndRight) {
  auto items = [](MenuModel& m) {
    m.AddItem(501, u"一");
    m.AddItem(502, u"二");
  };
  MenuBarButton& file = dialog.Add<MenuBarButton>(u"文件", items);
  file.SetBounds({0, 0, 60, 24});
  MenuBarButton& view = dialog.Add<MenuBarButton>(u"查看", items);
  view.SetBounds({60, 0, 120, 24});
  dialog.SetFocus(&view);
  Key(kDown);
  PopupMenu* menu = view.OpenPopupMenu();
  ASSERT_NE(menu, nullptr);
  const ViewPoint origin = dialog.Window()->ClientOrigin();
  EXPECT_EQ(menu->ScreenClientRect().left, origin.x + 60 + 3 + 1);
  EXPECT_EQ(menu->ScreenClientRect().top, origin.y + 24 + 5 + 1);
  EXPECT_EQ(menu->FocusIndex(), 0);
  Key(kLeft);
  EXPECT_FALSE(menu->IsOpen());
  EXPECT_TRUE(menu->ClosedByKeyboard());
  EXPECT_EQ(dialog.Focused(), &file);
  Key(kEnter);
  ASSERT_NE(file.OpenPopupMenu(), nullptr);
  Key(kDown);
  Key(kEnter);
  EXPECT_EQ(file.OpenPopupMenu(), nullptr);
  platform.Pump();
  EXPECT_EQ(dialog.commands, (std::vector<uint32_t>{502}));
}

TEST_F(ControlsTest, ListViewMovesItsSelectionAndKeepsItInView) {
  ListView& list = dialog.Add<ListView>(std::vector<ListView::Column>{{u"命令", 200}, {u"键", 100}});
  list.SetBounds({10, 10, 310, 210});  // rows of 20 under a 20-pixel header: 8 rows
  std::vector<std::vector<std::u16string>> rows;
  for (int i = 0; i < 30; ++i) rows.push_back({u"row " + std::u16string(1, char16_t(u'A' + i)), u"k"});
  list.SetRows(rows);
  dialog.SetFocus(&list);
  ASSERT_EQ(list.VisibleRows(), 8u);
  const struct {
    uint32_t key;
    int selected;
    size_t top;
  } steps[] = {{kDown, 0, 0}, {kDown, 1, 0}, {kPageDown, 9, 2}, {kEnd, 29, 22}, {kPageUp, 21, 21},
               {kUp, 20, 20}, {kHome, 0, 0}, {kUp, 0, 0}};
  for (const auto& s : steps) {
    Key(s.key);
    EXPECT_EQ(list.Selected(), s.selected) << s.key;
    EXPECT_EQ(list.TopRow(), s.top) << s.key;
  }
  Key(kEnter);
  EXPECT_EQ(dialog.Count(list, kNotifyDoubleClicked), 1);
  Native()->Click(0, {20, 10 + 1 + 20 + 3 * 20 + 5});
  EXPECT_EQ(list.Selected(), 3);
  Native()->SendMouseButton(0, MouseAction::kDoubleClick, {20, 10 + 1 + 20 + 3 * 20 + 5});
  EXPECT_EQ(dialog.Count(list, kNotifyDoubleClicked), 2);
}

TEST_F(ControlsTest, ColourButtonTakesTheChoosersColour) {
  ColourButton& button = dialog.Add<ColourButton>(0x808080);
  button.SetBounds({10, 10, 80, 34});
  dialog.SetFocus(&button);
  platform.colourAnswers.push_back(std::nullopt);  // cancelled
  Key(kSpace);
  EXPECT_EQ(button.Colour(), 0x808080u);
  platform.colourAnswers.push_back(0x123456);
  Key(kSpace);
  EXPECT_EQ(button.Colour(), 0x123456u);
  EXPECT_EQ(dialog.Count(button, kNotifyChanged), 1);
  EXPECT_EQ(dialog.Count(button, kNotifyClicked), 0);
}

uint64_t Fnv1a(const PixelSurface& surface) {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t p : surface.pixels)
    for (int i = 0; i < 4; ++i) h = (h ^ (p >> (8 * i) & 0xFF)) * 1099511628211ull;
  return h;
}

// What the controls look like with the fixed-metrics font, at 96 and 144
// dpi: any change of the drawing shows here.
TEST(ControlsLookTest, GoldenPicturesOfEveryControl) {
  const struct {
    uint32_t dpi;
    uint64_t hash;
  } cases[] = {{96, 0xd93e55377e6d3e07ull}, {144, 0xc614de40024a7c3aull}};
  for (const auto& c : cases) {
    HeadlessPlatform platform({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, c.dpi}});
    SetCurrentPlatform(&platform);
    {
      Dialog dialog;
      ASSERT_TRUE(dialog.CreateDialog(nullptr, u"Look", {320, 240}));
      const Theme& t = dialog.CurrentTheme();
      auto at = [&t](int32_t l, int32_t top, int32_t r, int32_t b) {
        return ViewRect{t.Px(l), t.Px(top), t.Px(r), t.Px(b)};
      };
      dialog.Add<Label>(u"名称 Name").SetBounds(at(8, 8, 150, 28));
      EditField& edit = dialog.Add<EditField>(u"some text 文字");
      edit.SetBounds(at(160, 8, 312, 30));
      PushButton& ok = dialog.Add<PushButton>(u"确定");
      ok.SetBounds(at(8, 40, 83, 63));
      dialog.SetDefaultButton(&ok);
      dialog.Add<CheckBox>(u"打开", true).SetBounds(at(100, 40, 220, 60));
      dialog.Add<Slider>(0, 100, 30, 10).SetBounds(at(8, 72, 312, 96));
      dialog.Add<ComboBox>(std::vector<std::u16string>{u"左", u"右"}, 1).SetBounds(at(8, 104, 150, 128));
      dialog.Add<ColourButton>(0x3366CC).SetBounds(at(160, 104, 230, 128));
      ListView& list = dialog.Add<ListView>(std::vector<ListView::Column>{{u"命令", 150}, {u"键", 100}});
      list.SetBounds(at(8, 136, 312, 232));
      list.SetRows({{u"放大", u"Up"}, {u"缩小", u"Down"}}, 1);
      dialog.SetFocus(&edit);
      dialog.Window()->Show(ShowState::kNormal, true);
      dialog.Window()->Repaint();
      EXPECT_EQ(Fnv1a(dialog.Surface()), c.hash) << c.dpi << ": 0x" << std::hex << Fnv1a(dialog.Surface());
    }
    SetCurrentPlatform(nullptr);
  }
}

TEST(PropertySheetTest, PagesSwitchWithCtrlTabAndOnlyTheirControlsShow) {
  HeadlessPlatform platform({});
  SetCurrentPlatform(&platform);
  {
    PropertySheet sheet;
    const size_t viewer = sheet.AddPage(u"查看器");
    const size_t keys = sheet.AddPage(u"按键");
    CheckBox& check = sheet.AddToPage<CheckBox>(viewer, {0, 0, 200, 20}, u"全屏");
    EditField& edit = sheet.AddToPage<EditField>(keys, {0, 0, 200, 24});
    ASSERT_TRUE(sheet.CreateSheet(nullptr, u"选项", {300, 200}));
    int applied = 0;
    sheet.onApply = [&] { ++applied; };
    EXPECT_TRUE(check.IsVisible());
    EXPECT_FALSE(edit.IsVisible());
    const uintptr_t w = sheet.Window()->NativeHandle();
    for (auto [key, modifiers] : {std::pair<uint32_t, uint8_t>{kTab, kCtrl}, {kTab, 0}, {kSpace, 0}})
      platform.PostKey(w, key, modifiers);
    platform.onNestedLoopIdle = [&] {
      // On the second page: its field took the Tab and the Space.
      EXPECT_EQ(sheet.CurrentPage(), keys);
      EXPECT_FALSE(check.IsVisible());
      EXPECT_TRUE(edit.IsVisible());
      EXPECT_EQ(edit.Text(), u"");
      platform.PostKey(w, kPageUp, kCtrl);
      platform.PostKey(w, kEnter);
      platform.onNestedLoopIdle = nullptr;
      return true;
    };
    EXPECT_EQ(sheet.RunModal(), 1);
    EXPECT_EQ(sheet.CurrentPage(), viewer);
    EXPECT_EQ(applied, 1);
  }
  SetCurrentPlatform(nullptr);
}

TEST(FileDialogTest, OneObjectForOpenAndSaveKeepsTheFilterChosen) {
  HeadlessPlatform platform({});
  SetCurrentPlatform(&platform);
  FileDialog dialog(nullptr, u"打开", {u"图像文件", u"*.bmp;*.png", u"所有文件", u"*.*"});
  platform.fileDialogAnswers.push_back({u"/a/x.bmp", u"/a/y.bmp"});
  platform.fileDialogFilterChoice = 2;
  EXPECT_EQ(dialog.Open(), (std::vector<std::u16string>{u"/a/x.bmp", u"/a/y.bmp"}));
  EXPECT_EQ(dialog.FilterIndex(), 2u);
  platform.fileDialogFilterChoice = 0;
  platform.fileDialogAnswers.push_back({u"/b/z.bmp"});
  EXPECT_EQ(dialog.Save(u"/b/z.bmp"), u"/b/z.bmp");
  EXPECT_FALSE(dialog.Save(u"/b/z.bmp"));  // cancelled
  ASSERT_EQ(platform.fileDialogRequests.size(), 3u);
  const FileDialogRequest& open = platform.fileDialogRequests[0];
  EXPECT_FALSE(open.save);
  EXPECT_TRUE(open.multiple);
  EXPECT_EQ(open.filterIndex, 1u);
  EXPECT_EQ(open.filter.size(), 4u);
  const FileDialogRequest& save = platform.fileDialogRequests[1];
  EXPECT_TRUE(save.save);
  EXPECT_FALSE(save.multiple);
  EXPECT_EQ(save.filterIndex, 2u);
  EXPECT_EQ(save.initialPath, u"/b/z.bmp");
  EXPECT_EQ(save.title, u"打开");
  SetCurrentPlatform(nullptr);
}

}  // namespace
}  // namespace vt
