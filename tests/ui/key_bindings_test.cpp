#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vt
