// Reads a message box from outside, as a screen reader would: waits for the
// shown dialog box whose title is the first argument and prints the texts of
// its static controls (UTF-8, one per line). Exit 1 when none appears within
// 30 seconds.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
  std::wstring title;
  HWND found = nullptr;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (IsWindowVisible(window) && ClassOf(window) == L"#32770" && TextOf(window) == search->title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK PrintStatic(HWND window, LPARAM) {
  if (_wcsicmp(ClassOf(window).c_str(), L"Static") != 0) return TRUE;
  const std::wstring text = TextOf(window);
  if (text.empty()) return TRUE;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                      nullptr);
  std::printf("%s\n", utf8.c_str());
  return TRUE;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 2) {
    std::fprintf(stderr, "usage: message_box_text TITLE\n");
    return 2;
  }
  Search search{args[1]};
  for (int i = 0; i < 120 && !search.found; ++i) {
    EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(250);
  }
  if (!search.found) return 1;
  EnumChildWindows(search.found, &PrintStatic, 0);
  return 0;
}
