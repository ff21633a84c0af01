#include "platform/gtk/gtk_keys.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

namespace vt {
namespace {

// The codes are the published Windows virtual-key values: stored key bindings
// made on one system must mean the same keys on the other.
TEST(GtkKeys, LettersDigitsAndFunctionKeys) {
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_a), 0x41u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_A), 0x41u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_z), 0x5Au);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Z), 0x5Au);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_0), 0x30u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_9), 0x39u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_F1), 0x70u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_F12), 0x7Bu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_F24), 0x87u);
}

TEST(GtkKeys, NavigationAndEditingKeys) {
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_BackSpace), 0x08u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Tab), 0x09u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_ISO_Left_Tab), 0x09u);  // Shift+Tab
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Return), 0x0Du);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Escape), 0x1Bu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_space), 0x20u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Page_Up), 0x21u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Page_Down), 0x22u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_End), 0x23u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Home), 0x24u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Left), 0x25u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Up), 0x26u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Right), 0x27u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Down), 0x28u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Insert), 0x2Du);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Delete), 0x2Eu);
}

TEST(GtkKeys, KeypadFollowsNumLock) {
  // With Num Lock the digits, without it the navigation keys.
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_0), 0x60u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_9), 0x69u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Home), 0x24u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Page_Down), 0x22u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Insert), 0x2Du);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Multiply), 0x6Au);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Add), 0x6Bu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Subtract), 0x6Du);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Decimal), 0x6Eu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Divide), 0x6Fu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_KP_Enter), 0x0Du);
}

TEST(GtkKeys, ModifiersAndPunctuation) {
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Shift_L), 0x10u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Shift_R), 0x10u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Control_R), 0x11u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Alt_L), 0x12u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_minus), 0xBDu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_equal), 0xBBu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_bracketleft), 0xDBu);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_apostrophe), 0xDEu);
  // Keys the table does not know give nothing rather than a wrong key.
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_exclam), 0u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_VoidSymbol), 0u);
  EXPECT_EQ(VirtualKeyFromKeySymbol(GDK_KEY_Cyrillic_a), 0u);
}

}  // namespace
}  // namespace vt
