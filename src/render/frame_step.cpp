#include "render/frame_step.h"

#include <algorithm>
#include <cstring>

#include "image/image_buffer.h"
#include "render/render_view.h"
#include "render/view_state.h"

namespace vt {

namespace {

using PF = PixelFormat;

// Straight blue, green, red, alpha as premultiplied colour.
uint32_t Premultiply(uint32_t c) {
  const uint32_t a = c >> 24;
  if (a == 255) return c;
  uint32_t out = a << 24;
  for (int k = 0; k < 3; ++k) out |= (((c >> (8 * k) & 0xFF) * a + 127) / 255) << (8 * k);
  return out;
}

// The part of the rectangle (x, y, w, h) that lies on the canvas.
struct Clip {
  uint32_t x = 0, y = 0, width = 0, height = 0;
};
Clip ClipTo(const ImageBuffer& canvas, uint64_t x, uint64_t y, uint64_t w, uint64_t h) {
  Clip c;
  if (x >= canvas.Width() || y >= canvas.Height()) return c;
  c.x = static_cast<uint32_t>(x);
  c.y = static_cast<uint32_t>(y);
  c.width = static_cast<uint32_t>(std::min<uint64_t>(w, canvas.Width() - x));
  c.height = static_cast<uint32_t>(std::min<uint64_t>(h, canvas.Height() - y));
  return c;
}

Clip FrameClip(const ImageBuffer& canvas, const ImageBuffer& frame) {
  return ClipTo(canvas, frame.Frame().x, frame.Frame().y, frame.Width(), frame.Height());
}

void Fill(ImageBuffer& canvas, const Clip& c, uint32_t premultiplied) {
  for (uint32_t y = 0; y < c.height; ++y)
    std::fill_n(reinterpret_cast<uint32_t*>(canvas.Row(c.y + y)) + c.x, c.width, premultiplied);
}

// Source pixel over target pixel, both premultiplied, every channel alike.
inline uint32_t Over(uint32_t s, uint32_t t) {
  const uint32_t a = s >> 24;
  if (a == 255) return s;
  if (a == 0 && s == 0) return t;
  const uint32_t keep = 65535 - a * 257;
  uint32_t out = 0;
  for (int k = 0; k < 32; k += 8) {
    const uint32_t v = (s >> k & 0xFF) + (((t >> k & 0xFF) * keep + 32768) >> 16);
    out |= std::min(v, 255u) << k;
  }
  return out;
}

// Draws the frame onto the canvas at its offset, clipped to the canvas.
void Draw(ImageBuffer& canvas, ImageBuffer* frame) {
  const Clip c = FrameClip(canvas, *frame);
  if (c.width == 0 || c.height == 0) return;
  RefPtr<ImageBuffer> src(frame);
  if (frame->Format() != PF::Bgra8 && frame->Format() != PF::Indexed8) {
    src = Convert(frame, PF::Bgra8, false, false);
    if (!src) return;
  }
  const bool opaque = src->Alpha() == AlphaMode::None;
  const bool blend = frame->Frame().blend != 0;
  uint32_t table[256];
  if (src->Format() == PF::Indexed8) {
    const uint32_t* palette = src->Palette();
    for (int i = 0; i < 256; ++i) table[i] = opaque ? palette[i] | 0xFF000000u : Premultiply(palette[i]);
  }
  const bool premultiplied = src->Alpha() == AlphaMode::Premultiplied;
  for (uint32_t y = 0; y < c.height; ++y) {
    uint32_t* d = reinterpret_cast<uint32_t*>(canvas.Row(c.y + y)) + c.x;
    const uint8_t* s = src->Row(y);
    for (uint32_t x = 0; x < c.width; ++x) {
      uint32_t p;
      if (src->Format() == PF::Indexed8) {
        p = table[s[x]];
      } else {
        std::memcpy(&p, s + 4 * x, 4);
        if (opaque)
          p |= 0xFF000000u;
        else if (!premultiplied)
          p = Premultiply(p);
      }
      d[x] = blend ? Over(p, d[x]) : p;
    }
  }
}

// The canvas for the first frame: as large as the animation's canvas and the
// frame, filled with its background. Frames that carry no alpha on an opaque
// background give an opaque canvas.
bool StartCanvas(ViewState& view, ImageBuffer* frame) {
  const FrameDescription& d = frame->Frame();
  const uint32_t w = std::max(d.canvasWidth, frame->Width());
  const uint32_t h = std::max(d.canvasHeight, frame->Height());
  RefPtr<ImageBuffer> canvas(view.Canvas());
  if (!canvas || canvas->Width() != w || canvas->Height() != h) {
    canvas = ImageBuffer::Create(PF::Bgra8, w, h, true);
    if (!canvas) return false;
  }
  bool alpha = (d.background >> 24) != 255;
  for (const ImageBuffer* f = frame->First(); f && !alpha; f = f->Next())
    alpha = f->Alpha() != AlphaMode::None;
  canvas->SetAlpha(alpha ? AlphaMode::Premultiplied : AlphaMode::None);
  canvas->Frame() = d;
  canvas->Frame().x = canvas->Frame().y = 0;
  Fill(*canvas, {0, 0, w, h}, Premultiply(d.background));
  view.SetSavedRegion(nullptr, nullptr);
  view.SetCanvas(std::move(canvas));
  return true;
}

// What the frame will cover, kept so that its disposal can put it back.
void SaveRegion(ViewState& view, ImageBuffer* frame) {
  ImageBuffer& canvas = *view.Canvas();
  const Clip c = FrameClip(canvas, *frame);
  RefPtr<ImageBuffer> saved;
  if (c.width && c.height) {
    saved = ImageBuffer::Create(PF::Bgra8, c.width, c.height);
    if (saved) CopyRect(saved.get(), 0, 0, &canvas, c.x, c.y, c.width, c.height);
  }
  view.SetSavedRegion(std::move(saved), frame);
}

// The current frame's disposal, before the next frame is drawn.
void Dispose(ViewState& view) {
  ImageBuffer* frame = view.SourceImage();
  ImageBuffer* canvas = view.Canvas();
  if (!frame || !canvas) return;
  const FrameDescription& d = frame->Frame();
  if (d.disposal == 1) {
    Fill(*canvas, FrameClip(*canvas, *frame), Premultiply(d.background));
  } else if (d.disposal == 2) {
    if (ImageBuffer* saved = view.SavedRegion(frame)) {
      const Clip c = FrameClip(*canvas, *frame);
      CopyRect(canvas, static_cast<int32_t>(c.x), static_cast<int32_t>(c.y), saved, 0, 0, kToEdge, kToEdge);
    } else {
      Fill(*canvas, {0, 0, canvas->Width(), canvas->Height()}, 0);
    }
  }
  view.SetSavedRegion(nullptr, nullptr);
}

// Composes the current frame without rendering.
void Compose(ViewState& view) {
  ImageBuffer* frame = view.SourceImage();
  if (!frame) return;
  if (!view.Animated() || ((!frame->Previous() || !view.Canvas()) && !StartCanvas(view, frame))) {
    // Pages show themselves; an animation without memory for its canvas
    // shows its frames as they are.
    view.SetComposedImage(RefPtr<ImageBuffer>(frame));
    return;
  }
  if (frame->Frame().disposal == 2 && !view.SavedRegion(frame)) SaveRegion(view, frame);
  Draw(*view.Canvas(), frame);
  view.SetComposedImage(RefPtr<ImageBuffer>(view.Canvas()));
}

// Moves an animation on by one frame: the current one's disposal, then the next.
void Advance(ViewState& view, ImageBuffer* next) {
  Dispose(view);
  view.SetCurrentFrame(next);
  Compose(view);
}

// The animation has plays left after the pass that just ended.
bool PlaysAgain(const ViewState& view, const FrameDescription& frame) {
  if (!frame.loop || frame.delay < 0) return false;  // a page sequence does not wrap
  return frame.loopCount == 0 || view.CompletedPlays() + 1 < frame.loopCount;
}

void Restart(ViewState& view, ImageBuffer* first) {
  view.SetCurrentFrame(first);
  Compose(view);
}

}  // namespace

void ComposeFrame(ViewState& view, bool force) {
  if (view.ComposedImage() && !force) return;
  view.DropAdjustedLayer();
  Compose(view);
  if (force) RenderView(view);
}

bool StepFrame(ViewState& view, FrameDirection direction) {
  ImageBuffer* current = view.SourceImage();
  ImageBuffer* first = view.FirstFrame();
  if (!current || !first) return false;
  // The canvas must show the current frame before the next one is drawn on it.
  if (!view.ComposedImage()) Compose(view);
  ImageBuffer* to = nullptr;
  switch (direction) {
    case FrameDirection::kFirst:
      if (current != first) {
        Restart(view, first);
        RenderView(view);
      }
      return true;
    case FrameDirection::kNext:
      to = current->Next();
      if (!to) {
        if (!view.Animated() || current == first || !PlaysAgain(view, current->Frame())) return false;
        view.CountCompletedPlay();
        Restart(view, first);
        RenderView(view);
        return true;
      }
      break;
    case FrameDirection::kPrevious:
      to = current->Previous();
      if (!to) return false;
      break;
  }
  if (!to) return false;
  if (!view.Animated()) {
    view.SetCurrentFrame(to);
    Compose(view);
  } else if (direction == FrameDirection::kPrevious) {
    // What the canvas showed at an earlier frame is only known by playing
    // the animation up to it again.
    Restart(view, first);
    while (view.SourceImage() != to && view.SourceImage()->Next()) Advance(view, view.SourceImage()->Next());
  } else {
    Advance(view, to);
  }
  RenderView(view);
  return true;
}

uint32_t FrameIndex(const ViewState& view) {
  uint32_t i = 0;
  for (const ImageBuffer* f = view.SourceImage(); f && f->Previous(); f = f->Previous()) ++i;
  return i;
}

uint32_t FrameCount(const ViewState& view) {
  return view.FirstFrame() ? view.FirstFrame()->ChainLength() : 0;
}

}  // namespace vt
