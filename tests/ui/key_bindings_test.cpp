#include <gtest/gtest.h>

#include <string>

#include "ui/key_bindings.h"

namespace vt {
namespace {

TEST(KeyBindingsTest, BuiltInTableMapsKeysToCommands) {
  const AcceleratorTable table(std::vector<KeyBinding>(BuiltInViewerBindings().begin(),
                                                       BuiltInViewerBindings().end()));
  EXPECT_EQ(table.Bindings().size(), 73u);
  EXPECT_EQ(table.CommandFor(0, 0x20), 20001);  // Space
  EXPECT_EQ(table.CommandFor(0, 0x22), 20001);  // Page Down
  EXPECT_EQ(table.CommandFor(2, 0x20), 20006);
  EXPECT_EQ(table.CommandFor(4, 0x58), 20064);   // Alt+X
  EXPECT_EQ(table.CommandFor(6, 0x58), 20063);   // Ctrl+Alt+X
  EXPECT_FALSE(table.CommandFor(1, 0x20));       // Shift+Space: unbound
  EXPECT_EQ(table.FindBinding(20043)->virtualKey, 0x58);  // Ctrl+X comes first
}

TEST(KeyBindingsTest, StoredFormRoundTripsAndFrozenTableKeepsFirstBindings) {
  const auto entries = BuiltInViewerBindingEntries();
  ASSERT_EQ(entries.size(), 73u);
  const auto bindings = BindingsFromBytes(entries);
  EXPECT_TRUE(std::equal(bindings.begin(), bindings.end(), BuiltInViewerBindings().begin()));
  const AcceleratorTable frozen = BuildFrozenTable(AcceleratorTable(bindings));
  ASSERT_EQ(frozen.Bindings().size(), 10u);
  EXPECT_EQ(frozen.Bindings()[0], (KeyBinding{2, 0x46, 20033}));
  EXPECT_EQ(frozen.CommandFor(0, 0x22), 20001);
  EXPECT_FALSE(frozen.CommandFor(0, 0x20));  // only the first binding of each command
  EXPECT_FALSE(frozen.CommandFor(0, 0x52));
}

// The system's names as a US layout and older layouts give them.
std::u16string SystemName(uint32_t vk) {
  switch (vk) {
    case 0x1B: return u"ESC";
    case 0x22: return u"PGDN";
    case 0x21: return u"PGUP";
    case 0x74: return u"F5";
    case 0x6B: return u"NUM +";
    case 0xDE: return u"ÄÅÖ";
    default: return u"?";
  }
}

TEST(KeyBindingsTest, KeyNamesTakePrefixesAndNormalizeTheSystemsName) {
  const struct {
    KeyBinding binding;
    bool longNames;
    size_t capacity;
    std::u16string_view expected;
  } cases[] = {
      {{0, 0x4F, 20000}, true, 64, u"O"},
      {{2, 0x58, 20043}, false, 64, u"c-X"},
      {{4, 0x44, 20043}, true, 64, u"Alt-D"},
      {{6, 0x58, 20063}, true, 64, u"Ctrl-Alt-X"},
      {{1, 0x74, 20034}, true, 64, u"Shift-F5"},
      {{7, 0x31, 20016}, false, 64, u"s-c-a-1"},
      {{0, 0x1B, 20064}, false, 64, u"Esc"},
      {{0, 0x22, 20001}, false, 64, u"PgDn"},
      {{2, 0x21, 20007}, false, 64, u"c-PgUp"},
      {{0, 0x6B, 20025}, true, 64, u"Num +"},
      {{0, 0xDE, 20000}, true, 64, u"Äåö"},
      // A prefix goes in only whole and while room remains (the NUL counts).
      {{7, 0x41, 20000}, true, 11, u"Shift-"},
      {{3, 0x41, 20000}, true, 12, u"Shift-Ctrl-"},
      {{3, 0x41, 20000}, true, 13, u"Shift-Ctrl-A"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(KeyBindingName(c.binding, c.longNames, SystemName, c.capacity), c.expected)
        << int(c.binding.modifiers) << " " << int(c.binding.virtualKey);
}

TEST(KeyBindingsTest, CommandKeysJoinEveryBindingOfTheCommand) {
  const AcceleratorTable table(std::vector<KeyBinding>(BuiltInViewerBindings().begin(),
                                                       BuiltInViewerBindings().end()));
  EXPECT_EQ(CommandKeysName(table, 20043, SystemName), u"c-X \u00B7 a-D");
  EXPECT_EQ(CommandKeysName(table, 20064, SystemName), u"Esc \u00B7 a-X");
  EXPECT_EQ(CommandKeysName(table, 20033, SystemName), u"c-F");
  EXPECT_EQ(CommandKeysName(table, 20050, SystemName), u"");
}

}  // namespace
}  // namespace vt
