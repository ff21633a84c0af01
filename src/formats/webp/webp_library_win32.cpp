// libwebp.dll, loaded from the program's own folder on first use. No import
// library or header is needed: the functions are declared here with the
// library's documented C signatures (plain C calling convention).
#ifdef _WIN32
#include <windows.h>

#include <string>

#include "formats/webp/webp_library.h"

namespace vt {

namespace {

// The colour mode argument of WebPINewRGB is an enumeration passed as int;
// blue, green, red, alpha is 3.
constexpr int kModeBgra = 3;
using NewRgb = void* (*)(int mode, uint8_t* output, size_t outputSize, int stride);
using GetRgb = uint8_t* (*)(const void* decoder, int* lastY, int* width, int* height, int* stride);
NewRgb newRgb = nullptr;
int (*update)(void* decoder, const uint8_t* data, size_t dataSize) = nullptr;
GetRgb getRgb = nullptr;
void (*deleteDecoder)(void* decoder) = nullptr;

void* NewBgraDecoder(uint8_t* output, size_t outputSize, int stride) {
  return newRgb(kModeBgra, output, outputSize, stride);
}
uint8_t* DecodedRows(const void* decoder, int* lastY, int* width, int* height, int* stride) {
  return getRgb(decoder, lastY, width, height, stride);
}

template <class Fn>
Fn Lookup(HMODULE module, const char* name) {
  // Through a plain function pointer type, which the compiler accepts as a
  // generic one, instead of FARPROC's.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Only the copy beside the program: the search path could offer any file of
// that name. Empty when the program's own path cannot be had.
std::wstring LibraryPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return path + L"libwebp.dll";
}

const WebpLibrary* Load() {
  const std::wstring path = LibraryPath();
  if (path.empty()) return nullptr;
  // The altered search path lets the library find its own companions
  // (libsharpyuv.dll) in the same folder.
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return nullptr;
  static WebpLibrary library;
  library.getInfo = Lookup<decltype(library.getInfo)>(module, "WebPGetInfo");
  library.decodeBgraInto = Lookup<decltype(library.decodeBgraInto)>(module, "WebPDecodeBGRAInto");
  if (!library.getInfo || !library.decodeBgraInto) {
    FreeLibrary(module);
    return nullptr;
  }
  // The incremental decoder, which lets a decode report progress and stop on
  // request; without it a picture decodes in one call.
  newRgb = Lookup<NewRgb>(module, "WebPINewRGB");
  update = Lookup<decltype(library.update)>(module, "WebPIUpdate");
  getRgb = Lookup<GetRgb>(module, "WebPIDecGetRGB");
  deleteDecoder = Lookup<decltype(library.deleteDecoder)>(module, "WebPIDelete");
  if (newRgb && update && getRgb && deleteDecoder) {
    library.newBgraDecoder = &NewBgraDecoder;
    library.update = update;
    library.decodedRows = &DecodedRows;
    library.deleteDecoder = deleteDecoder;
  }
  // Kept loaded for the life of the process.
  return &library;
}

}  // namespace

std::u16string WebpLibraryPath() {
  const std::wstring path = LibraryPath();
  return std::u16string(path.begin(), path.end());
}

const WebpLibrary* GetWebpLibrary() {
  static const WebpLibrary* const library = Load();
  return library;
}

}  // namespace vt
#endif
