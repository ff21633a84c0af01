#include "platform/platform.h"

namespace vt {

namespace {
Platform* g_platform = nullptr;

struct NamedKey {
  uint8_t key;
  const char16_t* name;
};
// The names a US keyboard layout gives its keys.
constexpr NamedKey kKeyNames[] = {
    {0x08, u"Backspace"}, {0x09, u"Tab"},        {0x0D, u"Enter"},       {0x10, u"Shift"},
    {0x11, u"Ctrl"},      {0x12, u"Alt"},        {0x13, u"Pause"},       {0x14, u"Caps Lock"},
    {0x1B, u"Esc"},       {0x20, u"Space"},      {0x21, u"Page Up"},     {0x22, u"Page Down"},
    {0x23, u"End"},       {0x24, u"Home"},       {0x25, u"Left"},        {0x26, u"Up"},
    {0x27, u"Right"},     {0x28, u"Down"},       {0x2C, u"Prnt Scrn"},   {0x2D, u"Insert"},
    {0x2E, u"Delete"},    {0x5B, u"Left Windows"}, {0x5C, u"Right Windows"}, {0x5D, u"Application"},
    {0x6A, u"Num *"},     {0x6B, u"Num +"},      {0x6D, u"Num -"},       {0x6E, u"Num Del"},
    {0x6F, u"Num /"},     {0x90, u"Num Lock"},   {0x91, u"Scroll Lock"}, {0xBA, u";"},
    {0xBB, u"="},         {0xBC, u","},          {0xBD, u"-"},           {0xBE, u"."},
    {0xBF, u"/"},         {0xC0, u"`"},          {0xDB, u"["},           {0xDC, u"\\"},
    {0xDD, u"]"},         {0xDE, u"'"},
};

std::u16string Decimal(uint32_t v) {
  const std::string digits = std::to_string(v);
  return std::u16string(digits.begin(), digits.end());
}
}  // namespace

Platform& CurrentPlatform() { return *g_platform; }
void SetCurrentPlatform(Platform* platform) { g_platform = platform; }

TextRenderer& Platform::Text() {
  static FixedTextRenderer fixed;
  return fixed;
}

std::u16string Platform::KeyName(uint32_t virtualKey) {
  if ((virtualKey >= 0x30 && virtualKey <= 0x39) || (virtualKey >= 0x41 && virtualKey <= 0x5A))
    return std::u16string(1, static_cast<char16_t>(virtualKey));
  if (virtualKey >= 0x60 && virtualKey <= 0x69) return u"Num " + Decimal(virtualKey - 0x60);
  if (virtualKey >= 0x70 && virtualKey <= 0x87) return u"F" + Decimal(virtualKey - 0x6F);
  for (const NamedKey& k : kKeyNames)
    if (k.key == virtualKey) return k.name;
  return {};
}

}  // namespace vt
