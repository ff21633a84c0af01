// The system's WebP library, linked at build time.
#ifndef _WIN32
#include <webp/decode.h>

#include "formats/webp/webp_library.h"

namespace vt {

std::u16string WebpLibraryPath() { return u"libwebp"; }

namespace {

static_assert(VP8_STATUS_SUSPENDED == kWebpSuspended);

void* NewBgraDecoder(uint8_t* output, size_t outputSize, int stride) {
  return WebPINewRGB(MODE_BGRA, output, outputSize, stride);
}
int Update(void* decoder, const uint8_t* data, size_t dataSize) {
  return WebPIUpdate(static_cast<WebPIDecoder*>(decoder), data, dataSize);
}
uint8_t* DecodedRows(const void* decoder, int* lastY, int* width, int* height, int* stride) {
  return WebPIDecGetRGB(static_cast<const WebPIDecoder*>(decoder), lastY, width, height, stride);
}
void DeleteDecoder(void* decoder) { WebPIDelete(static_cast<WebPIDecoder*>(decoder)); }

}  // namespace

const WebpLibrary* GetWebpLibrary() {
  static const WebpLibrary library{&WebPGetInfo, &WebPDecodeBGRAInto, &NewBgraDecoder, &Update,
                                   &DecodedRows, &DeleteDecoder};
  return &library;
}

}  // namespace vt
#endif
