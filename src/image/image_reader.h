#pragma once
#include <cstdint>

#include "base/byte_cursor.h"
#include "base/cancel.h"
#include "base/ref_counted.h"
#include "base/status.h"
#include "image/colour_models.h"
#include "image/file_source.h"
#include "image/image_buffer.h"
#include "image/image_limits.h"
#include "image/image_properties.h"
#include "image/pixel_format.h"

namespace vt {

struct FormatRecord;

// Receives decoding progress. Reference-counted so a background load can keep it.
class ProgressSink : public RefCounted {
 public:
  virtual void LoadStarting() {}
  virtual void Report(uint32_t done, uint32_t total) = 0;
  // Called every few milliseconds on a thread that waits for a load running
  // elsewhere that reports here: a thread that owns what the reports update
  // can apply them while it would otherwise be blocked.
  virtual void Waiting() {}
};

// Base of every format reader: one object per opened file and frame. A format
// derives from it and implements ReadHeader (size, format, properties, from the
// mapped bytes only) and Decode (into a buffer the pipeline made from what
// ReadHeader reported).
class ImageReader : public RefCounted {
 public:
  ImageReader(FileSource* source, const FormatRecord* record);
  ~ImageReader() override;

  uint32_t FileSize() const { return source_ ? source_->Size() : 0; }
  // The file's bytes: readers reach them only through a cursor.
  ByteCursor FileCursor() const { return source_ ? source_->Cursor() : ByteCursor(); }
  FileSource* Source() const { return source_.get(); }
  const FormatRecord* Record() const { return record_; }

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  uint32_t BitDepth() const { return bitDepth_; }
  PixelFormat OutputFormat() const { return outputFormat_; }
  AlphaMode Alpha() const { return alpha_; }
  ColourModel Model() const { return model_; }
  uint32_t MinStride() const { return minStride_; }
  uint32_t MinRows() const { return minRows_; }
  bool HasReducedSize() const {
    return reducedWidth_ && reducedHeight_ && reducedWidth_ < width_ && reducedHeight_ < height_;
  }
  uint32_t ReducedWidth() const { return reducedWidth_; }
  uint32_t ReducedHeight() const { return reducedHeight_; }
  const FrameDescription& Frame() const { return frame_; }
  ImageReader* NextReader() const { return next_.get(); }
  ImageProperties& Properties() { return properties_; }

  // Fills the standard properties, runs ReadHeader and holds what it found to
  // the image limits: a first frame beyond them fails with kDamaged, a later
  // frame beyond them ends the chain before it.
  Status Open(uint32_t openFlags = 0);
  // Decodes into target (scaling or converting when target differs from what
  // the reader produces) and, with allFrames, chains the following frames.
  Status DecodeInto(ImageBuffer* target, bool allFrames, ProgressSink* progress,
                    const CancelFlag* cancel);

 protected:
  virtual Status ReadHeader() = 0;
  virtual Status Decode(ImageBuffer* target, bool reduced, ProgressSink* progress,
                        const CancelFlag* cancel) = 0;

  uint32_t openFlags_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t bitDepth_ = 0;
  uint32_t reducedWidth_ = 0;
  uint32_t reducedHeight_ = 0;
  uint32_t minStride_ = 0;
  uint32_t minRows_ = 0;
  PixelFormat outputFormat_ = PixelFormat::SameAsSource;
  ColourModel model_ = ColourModel::Unknown;
  AlphaMode alpha_ = AlphaMode::None;
  RefPtr<ImageReader> next_;
  FrameDescription frame_;
  // What ReadHeader found about this frame's pixel data; none by default.
  PixelDataClaim pixelData_;

 private:
  // kDamaged when the frame is beyond the limits or its data cannot be what
  // the header declares.
  Status CheckLimits() const;
  // One frame, without its followers.
  Status DecodeFrame(ImageBuffer* target, ProgressSink* progress, const CancelFlag* cancel);

  const FormatRecord* record_;
  RefPtr<FileSource> source_;
  ImageProperties properties_;
};

// Scales src into dst (different sizes, dst's format). Installed by the
// rendering layer; until then a size change fails with kInvalidArgument.
using ScaleFunction = Status (*)(ImageBuffer* dst, ImageBuffer* src, const CancelFlag* cancel);
void SetScaleFunction(ScaleFunction fn);

// Makes the buffer a reader decodes into (display formats when display is set).
Status MakeTargetBuffer(ImageReader* reader, RefPtr<ImageBuffer>* out, bool display,
                        bool reduced);

}  // namespace vt
