// The system's WebP library, linked at build time.
#ifndef _WIN32
#include <webp/decode.h>

#include "formats/webp/webp_library.h"

namespace vt {

std::u16string WebpLibraryPath() { return u"libwebp"; }

const WebpLibrary* GetWebpLibrary() {
  static const WebpLibrary library{&WebPGetInfo, &WebPDecodeBGRAInto};
  return &library;
}

}  // namespace vt
#endif
