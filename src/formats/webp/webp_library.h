#pragma once
// The few calls of the WebP decoding library the reader needs, behind one small
// table: linked directly where the library is a system package, loaded at run
// time on Windows (libwebp.dll beside the program), so the program runs without
// it and only WebP files fail.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vt {

struct WebpLibrary {
  // Width and height of a bitstream (a raw VP8 or VP8L stream, or a whole
  // RIFF/WEBP container); 0 when the header is not valid.
  int (*getInfo)(const uint8_t* data, size_t dataSize, int* width, int* height);
  // Decodes into caller-owned memory as blue, green, red, alpha rows stride
  // bytes apart; nullptr on failure.
  uint8_t* (*decodeBgraInto)(const uint8_t* data, size_t dataSize, uint8_t* output,
                             size_t outputSize, int stride);

  // Incremental decoding into caller-owned memory, the same pixels a piece of
  // data at a time; all four are null when the library lacks them.
  // A decoder writing blue, green, red, alpha rows; nullptr on failure.
  void* (*newBgraDecoder)(uint8_t* output, size_t outputSize, int stride) = nullptr;
  // Decodes what data (the whole stream so far, from its start) adds: 0 when
  // the image is complete, kWebpSuspended when it wants more data.
  int (*update)(void* decoder, const uint8_t* data, size_t dataSize) = nullptr;
  // The rows finished so far (in *lastY); nullptr before the header is read.
  uint8_t* (*decodedRows)(const void* decoder, int* lastY, int* width, int* height,
                          int* stride) = nullptr;
  void (*deleteDecoder)(void* decoder) = nullptr;
};

// The library's status for a stream that needs more data.
inline constexpr int kWebpSuspended = 5;

// The library, or nullptr when it is not available.
const WebpLibrary* GetWebpLibrary();

// Where the library is looked for: on Windows the full path beside the
// program, elsewhere the name of the library the program is linked with.
std::u16string WebpLibraryPath();

}  // namespace vt
