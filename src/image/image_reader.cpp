#include "image/image_reader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "base/text.h"
#include "image/format_registry.h"

namespace vt {

namespace {

std::atomic<ScaleFunction> g_scale{nullptr};

std::u16string Decimal(uint64_t v) { return AsciiToUtf16(std::to_string(v)); }

// The file name without folder and without its last extension; a name that is
// only a dot and an extension (".png") keeps it whole.
std::u16string TitleFromPath(const std::u16string& path) {
  size_t slash = path.find_last_of(u"\\/");
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  return name;
}

// Holds a reference to a progress sink for the length of a call.
class ProgressHold {
 public:
  explicit ProgressHold(ProgressSink* p) : p_(p) {}
  void Report(uint32_t done, uint32_t total) {
    if (p_) p_->Report(done, total);
  }

 private:
  RefPtr<ProgressSink> p_;
};

}  // namespace

void SetScaleFunction(ScaleFunction fn) { g_scale.store(fn); }

ImageReader::ImageReader(FileSource* source, const FormatRecord* record)
    : record_(record), source_(source) {
  if (record_) properties_.Set(PropertyId::FileFormat, record_->description);
}

Status ImageReader::Open(uint32_t openFlags) {
  openFlags_ = openFlags;
  if (!source_ || !source_->Data() || source_->Size() == 0) return status::kDamaged;
  properties_.Set(PropertyId::Compression, u"None");
  properties_.Set(PropertyId::FileName, source_->Path());
  FileTime t;
  if (source_->LastWriteTime(&t)) {
    properties_.Set(PropertyId::FileTime,
                    FormatFileTime(t.year, t.month, t.day, t.hour, t.minute, t.second));
  }
  properties_.Set(PropertyId::FileSize, Decimal(source_->Size()));
  Status s = ReadHeader();
  if (Failed(s)) return s;
  if (Status limits = CheckLimits(); Failed(limits)) return limits;
  // Frames are linked as the header walk finds them; the first that is beyond
  // the limits, alone or with the frames before it, ends the chain, and the
  // frames before it stay.
  FrameBudget budget;
  budget.Admit(width_, height_, BytesPerPixel(outputFormat_));
  for (ImageReader* r = this; r->next_; r = r->next_.get()) {
    const ImageReader* n = r->next_.get();
    if (Failed(n->CheckLimits()) ||
        !budget.Admit(n->width_, n->height_, BytesPerPixel(n->outputFormat_))) {
      r->next_.reset();
      break;
    }
  }
  if (model_ == ColourModel::Unknown) model_ = ColourModel::Rgb;
  properties_.Set(PropertyId::Dimensions, Decimal(bitDepth_));
  properties_.Set(PropertyId::ColourFormat, ColourModelText(model_));
  if (!properties_.Has(PropertyId::Title))
    properties_.Set(PropertyId::Title, TitleFromPath(source_->Path()));
  return s;
}

Status ImageReader::CheckLimits() const {
  // No format or no pixels: the target buffer is refused when it is made.
  if (!IsStorageFormat(outputFormat_) || uint64_t{width_} * height_ == 0) return status::kOk;
  const uint32_t bytesPerPixel = BytesPerPixel(outputFormat_);
  if (!WithinFrameLimits(width_, height_, bytesPerPixel)) return status::kDamaged;
  // The plane the pipeline makes may be wider and taller than the image.
  const uint64_t stride = std::max<uint64_t>(minStride_, uint64_t{width_} * bytesPerPixel);
  const uint64_t rows = std::max<uint64_t>(minRows_, height_);
  if (stride * rows > kImageLimits.maxFrameBytes) return status::kDamaged;
  if (!PixelDataPlausible(pixelData_)) return status::kDamaged;
  return status::kOk;
}

Status MakeTargetBuffer(ImageReader* reader, RefPtr<ImageBuffer>* out, bool display,
                        bool reduced) {
  out->reset();
  if (uint64_t{reader->Width()} * reader->Height() == 0) return status::kUnknownFormat;
  PixelFormat format = reader->OutputFormat();
  if (!IsStorageFormat(format)) return status::kUnsupportedColourFormat;
  if (display) format = DisplayFormatFor(format);
  RefPtr<ImageBuffer> b;
  if (reduced && reader->HasReducedSize()) {
    b = ImageBuffer::Create(format, reader->ReducedWidth(), reader->ReducedHeight(), display,
                            BytesPerPixel(format) * reader->ReducedWidth(),
                            reader->ReducedHeight());
  } else {
    b = ImageBuffer::Create(format, reader->Width(), reader->Height(), display,
                            reader->MinStride(), reader->MinRows());
  }
  if (!b) return status::kOutOfMemory;
  *out = std::move(b);
  return status::kOk;
}

ImageReader::~ImageReader() {
  // A long animation is a long chain of readers; release it iteratively so that
  // dropping the first does not recurse once per frame.
  RefPtr<ImageReader> next = std::move(next_);
  while (next && next->RefCount() == 1) {
    RefPtr<ImageReader> after = std::move(next->next_);
    next = std::move(after);
  }
}

Status ImageReader::DecodeInto(ImageBuffer* target, bool allFrames, ProgressSink* progress,
                               const CancelFlag* cancel) {
  if (!target) return status::kInvalidArgument;
  ProgressHold hold(progress);
  Status s = DecodeFrame(target, progress, cancel);
  if (Succeeded(s)) hold.Report(100, 100);
  if (IsCancelled(cancel)) return status::kCancelled;
  if (Failed(s)) return s;

  if (allFrames) {
    // Following frames are decoded one after another rather than recursively, so
    // that thousands of frames cannot exhaust a worker thread's stack. A frame
    // that fails leaves the frames before it as they are.
    ImageBuffer* tail = target;
    for (ImageReader* r = next_.get(); r; r = r->next_.get()) {
      RefPtr<ImageBuffer> frame;
      if (Failed(MakeTargetBuffer(r, &frame, target->IsDisplay(), false))) break;
      if (Failed(r->DecodeFrame(frame.get(), nullptr, nullptr))) break;
      tail->SetNext(std::move(frame));
      tail = tail->Next();
    }
  }

  // Pages are readers that wait for the user (delay -1) before the next one.
  uint32_t pages = 1;
  for (const ImageReader* r = this; r; r = r->next_.get()) {
    if (r->next_ && r->frame_.delay == -1) ++pages;
  }
  if (pages > 1) {
    uint32_t page = 1;
    for (ImageBuffer* f = target; f; f = f->Next()) {
      char text[32];
      std::snprintf(text, sizeof text, "%u:%u", page, pages);
      f->Properties().Set(PropertyId::Page, AsciiToUtf16(text));
      if (f->Frame().delay == -1) ++page;
    }
  }
  return s;
}

Status ImageReader::DecodeFrame(ImageBuffer* target, ProgressSink* progress,
                                const CancelFlag* cancel) {
  if (!IsStorageFormat(outputFormat_) || uint64_t{width_} * height_ == 0)
    return status::kUnsupportedColourFormat;

  // Decode at the reduced size when that still covers the target.
  const bool reduced = HasReducedSize() && reducedWidth_ >= target->Width() &&
                       reducedHeight_ >= target->Height();
  const uint32_t decodeWidth = reduced ? reducedWidth_ : width_;
  const uint32_t decodeHeight = reduced ? reducedHeight_ : height_;
  const uint32_t needStride = reduced ? BytesPerPixel(outputFormat_) * reducedWidth_ : minStride_;
  const uint32_t needRows = reduced ? reducedHeight_ : minRows_;
  const bool planeFits = target->Pitch() >= needStride && target->AllocatedRows() >= needRows;

  RefPtr<ImageBuffer> intermediate;
  ImageBuffer* into = target;
  if (target->Format() != outputFormat_ || !planeFits || target->Width() != decodeWidth ||
      target->Height() != decodeHeight) {
    intermediate =
        ImageBuffer::Create(outputFormat_, decodeWidth, decodeHeight, false, needStride, needRows);
    if (!intermediate) return status::kOutOfMemory;
    into = intermediate.get();
  }

  Status s = Decode(into, reduced, progress, cancel);
  if (IsCancelled(cancel)) return status::kCancelled;
  if (Failed(s)) return s;
  // Decode may have learnt about transparency only from the pixel data.
  into->SetAlpha(alpha_);
  s = ApplyColourModel(into, model_, bitDepth_);
  if (Failed(s)) return s;

  into->PaletteChanged();
  into->Frame() = frame_;
  if (into != target) {
    if (into->Width() == target->Width() && into->Height() == target->Height()) {
      s = ConvertInto(target, into, true);
    } else {
      ScaleFunction scale = g_scale.load();
      s = scale ? scale(target, into, cancel) : status::kInvalidArgument;
      if (Succeeded(s)) target->Frame() = frame_;
    }
    if (IsCancelled(cancel)) return status::kCancelled;
    if (Failed(s)) return s;
  }
  target->SetAlpha(alpha_);
  target->Properties().CopyFrom(properties_);
  return s;
}

}  // namespace vt
