// Placeholder: being written.
#include "image/image_buffer.h"
namespace vt {
RefPtr<ImageBuffer> Convert(ImageBuffer*, PixelFormat, bool, bool, uint32_t) { return nullptr; }
Status ConvertInto(ImageBuffer*, ImageBuffer*, bool, uint32_t) { return status::kGeneralFailure; }
Status CopyRect(ImageBuffer*, int32_t, int32_t, ImageBuffer*, uint32_t, uint32_t, uint32_t,
                uint32_t) {
  return status::kGeneralFailure;
}
}  // namespace vt
