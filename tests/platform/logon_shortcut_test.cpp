// The Windows system's own reading of the logon entries the program leaves in
// the Startup folder: the shortcut is loaded back through the shell.
#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/win32/win32_platform.h"

namespace vt {
namespace {

std::wstring StartupFolder() {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
  return folder;
}

struct LinkFields {
  std::wstring path, arguments, folder;
};

bool ReadLink(const std::wstring& file, LinkFields* out) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool ok = false;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
      wchar_t buffer[2048];
      if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        ok = SUCCEEDED(link->GetPath(buffer, 2048, nullptr, SLGP_RAWPATH));
        if (ok) out->path = buffer;
        ok = ok && SUCCEEDED(link->GetArguments(buffer, 2048));
        if (ok) out->arguments = buffer;
        ok = ok && SUCCEEDED(link->GetWorkingDirectory(buffer, 2048));
        if (ok) out->folder = buffer;
      }
      persist->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return ok;
}

TEST(LogonShortcut, StartupFolderEntryRunsThisProgramWithTheArguments) {
  const std::wstring startup = StartupFolder();
  ASSERT_FALSE(startup.empty());
  auto platform = CreateWin32Platform(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
  ASSERT_TRUE(platform);
  const std::u16string name = u"vistrel test \u00e4 " + std::u16string(u"photo.jpg");
  const std::wstring file = startup + L"\\" + std::wstring(name.begin(), name.end()) + L".lnk";
  const std::u16string arguments = u"-freeze -pos=-5,12 -zoom=0.250 \"C:\\pictures\\sea side.jpg\"";

  ASSERT_TRUE(platform->CreateLogonShortcut(name, arguments, u"C:\\pictures"));
  ASSERT_TRUE(std::filesystem::exists(file));
  LinkFields link;
  ASSERT_TRUE(ReadLink(file, &link));
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  EXPECT_EQ(_wcsicmp(link.path.c_str(), program), 0) << std::filesystem::path(link.path).string();
  EXPECT_EQ(link.arguments, std::wstring(arguments.begin(), arguments.end()));
  EXPECT_EQ(link.folder, L"C:\\pictures");

  // A second logoff replaces the entry of the same name.
  ASSERT_TRUE(platform->CreateLogonShortcut(name, u"-freeze \"C:\\b.jpg\"", u"C:\\"));
  ASSERT_TRUE(ReadLink(file, &link));
  EXPECT_EQ(link.arguments, L"-freeze \"C:\\b.jpg\"");

  EXPECT_TRUE(platform->RemoveLogonShortcut(name));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(platform->RemoveLogonShortcut(name));  // nothing left to remove
  // A name that would reach out of the folder is refused.
  EXPECT_FALSE(platform->CreateLogonShortcut(u"..\\escape", arguments, u"C:\\"));
}

}  // namespace
}  // namespace vt
#endif
