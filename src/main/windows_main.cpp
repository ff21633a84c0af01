// The Windows program: brings up the platform and hands over to the program's entry.
#include "platform/win32/win32_platform.h"
#include "viewer/viewer_app.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Per-monitor DPI awareness where the system has it, so the frame metrics
  // and monitor sizes are real pixels.
  if (HMODULE user = GetModuleHandleW(L"User32.dll")) {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    if (auto set = reinterpret_cast<SetContextFn>(
            reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDpiAwarenessContext"))))
      set(reinterpret_cast<HANDLE>(-4));  // per monitor, version 2
    else
      SetProcessDPIAware();
  }
  wchar_t module[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  vt::ProgramEnvironment env;
  env.programPath.assign(reinterpret_cast<const char16_t*>(module), n);
  const wchar_t* commandLine = GetCommandLineW();
  env.commandLine = commandLine ? std::u16string(reinterpret_cast<const char16_t*>(commandLine)) : std::u16string();
  auto platform = vt::CreateWin32Platform(reinterpret_cast<uintptr_t>(instance));
  return vt::RunProgram(*platform, env);
}
