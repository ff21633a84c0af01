#include "platform/win32/win32_shell_icons.h"

#include <windows.h>
#include <commctrl.h>
#include <commoncontrols.h>
#include <shellapi.h>
#include <shlobj.h>

namespace vt {

namespace {

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// The image list interface's identifier, which the import libraries of the
// cross compiler leave out.
constexpr IID kImageListId = {0x46EB5926, 0x582E, 0x4017, {0x9F, 0xDF, 0xE8, 0x99, 0x8D, 0xAA, 0x09, 0x50}};

// COM for the length of a call, on whatever thread asks.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

// Draws the icon on black and on white: the difference of the two gives
// each pixel's coverage whatever kind of mask or alpha the icon carries.
std::optional<PixelSurface> RenderIcon(HICON icon, int32_t size) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  if (!dc) return std::nullopt;
  uint32_t* planes[2] = {};
  HBITMAP bitmaps[2] = {};
  bool ok = true;
  for (int i = 0; i < 2 && ok; ++i) {
    void* bits = nullptr;
    bitmaps[i] = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    planes[i] = static_cast<uint32_t*>(bits);
    ok = bitmaps[i] && bits;
    if (!ok) break;
    HGDIOBJ old = SelectObject(dc, bitmaps[i]);
    const RECT all{0, 0, size, size};
    HBRUSH brush = CreateSolidBrush(i == 0 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    ok = DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    SelectObject(dc, old);
  }
  std::optional<PixelSurface> out;
  if (ok) {
    out.emplace(size, size);
    for (size_t i = 0; i < out->pixels.size(); ++i) {
      const uint32_t b = planes[0][i], w = planes[1][i];
      const uint32_t alpha = 255 - std::min<uint32_t>(255, (w & 0xFF) - std::min(w & 0xFF, b & 0xFF));
      uint32_t colour = 0;
      if (alpha) {
        for (int shift = 0; shift < 24; shift += 8)
          colour |= std::min<uint32_t>(255, ((b >> shift) & 0xFF) * 255 / alpha) << shift;
      }
      out->pixels[i] = colour | alpha << 24;
    }
  }
  for (HBITMAP b : bitmaps)
    if (b) DeleteObject(b);
  DeleteDC(dc);
  return out;
}

}  // namespace

std::optional<PixelSurface> ShellFileIcon(const std::u16string& path) {
  ComScope com;
  SHFILEINFOW sfi = {};
  if (!SHGetFileInfoW(Wide(path), 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX)) return std::nullopt;
  IImageList* list = nullptr;
  if (FAILED(SHGetImageList(SHIL_EXTRALARGE, kImageListId, reinterpret_cast<void**>(&list))) || !list)
    return std::nullopt;
  HICON icon = nullptr;
  int width = 48, height = 48;
  list->GetIconSize(&width, &height);
  const bool got = SUCCEEDED(list->GetIcon(sfi.iIcon, ILD_TRANSPARENT, &icon)) && icon;
  list->Release();
  if (!got) return std::nullopt;
  std::optional<PixelSurface> out = RenderIcon(icon, std::max(16, std::min(width, 256)));
  DestroyIcon(icon);
  return out;
}

std::optional<std::u16string> ShellLinkTarget(const std::u16string& path) {
  ComScope com;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return std::nullopt;
  std::optional<std::u16string> out;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t target[MAX_PATH] = {};
    if (SUCCEEDED(file->Load(Wide(path), STGM_READ)) &&
        link->GetPath(target, MAX_PATH, nullptr, 0) == S_OK && target[0])
      out = std::u16string(reinterpret_cast<const char16_t*>(target));
    file->Release();
  }
  link->Release();
  return out;
}

}  // namespace vt
