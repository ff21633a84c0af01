// The index window's grid: cells, thumbnails, icons and captions drawn on a
// surface of the window's own.
#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "base/text.h"
#include "index/index_window.h"
#include "ui/canvas.h"
#include "ui/menu_icons.h"
#include "viewer/viewer_app.h"

namespace vt {

namespace {

constexpr uint32_t kSelection = 0xD77800;  // blue
constexpr int32_t kIconSize = 48;
constexpr int32_t kScrollBarWidth = 8;

uint32_t Mix(uint32_t below, uint32_t above, uint32_t alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t b = (below >> shift) & 0xFF, a = (above >> shift) & 0xFF;
    out |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
  }
  return out | 0xFF000000u;
}

// Copies a Bgra8 picture to (x, y) of the surface, over what is there where
// it has alpha, clipped to clip.
void DrawPicture(PixelSurface& s, const ImageBuffer& picture, int32_t x, int32_t y, const ViewRect& clip) {
  const ViewRect r = Intersect(Intersect(clip, s.Bounds()),
                               {x, y, x + int32_t(picture.Width()), y + int32_t(picture.Height())});
  const AlphaMode alpha = picture.Alpha();
  for (int32_t py = r.top; py < r.bottom; ++py) {
    const uint8_t* src = picture.Row(uint32_t(py - y)) + size_t(r.left - x) * 4;
    uint32_t* dst = s.Row(py) + r.left;
    for (int32_t px = r.left; px < r.right; ++px, src += 4, ++dst) {
      uint32_t v;
      std::memcpy(&v, src, 4);
      const uint32_t a = v >> 24;
      if (alpha == AlphaMode::None || a == 255) {
        *dst = v | 0xFF000000u;
      } else if (alpha == AlphaMode::Premultiplied) {
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const uint32_t c = ((v >> shift) & 0xFF) + (((*dst >> shift) & 0xFF) * (255 - a) + 127) / 255;
          out |= std::min<uint32_t>(c, 255) << shift;
        }
        *dst = out | 0xFF000000u;
      } else {
        *dst = Mix(*dst, v, a);
      }
    }
  }
}

void DrawIcon(PixelSurface& s, const PixelSurface& icon, int32_t x, int32_t y, const ViewRect& clip) {
  const ViewRect r = Intersect(Intersect(clip, s.Bounds()), {x, y, x + icon.width, y + icon.height});
  for (int32_t py = r.top; py < r.bottom; ++py)
    for (int32_t px = r.left; px < r.right; ++px) {
      const uint32_t v = icon.At(px - x, py - y);
      s.Row(py)[px] = Mix(s.Row(py)[px], v, v >> 24);
    }
}

// The program's own folder pictures, drawn from shapes on a transparent square.
PixelSurface FolderIcon(bool parent, int32_t size) {
  // Drawn twice, on black and on white: the difference gives each pixel's alpha.
  PixelSurface onBlack(size, size, 0xFF000000u), onWhite(size, size, 0xFFFFFFFFu);
  FixedTextRenderer none;
  for (PixelSurface* s : {&onBlack, &onWhite}) {
    Canvas c(*s, none);
    const double u = size / 48.0;
    c.Fill({int32_t(4 * u), int32_t(8 * u), int32_t(20 * u), int32_t(14 * u)}, 0x3CA0E8);
    c.Fill({int32_t(4 * u), int32_t(12 * u), int32_t(44 * u), int32_t(40 * u)}, 0x52BCF5);
    c.Fill({int32_t(4 * u), int32_t(17 * u), int32_t(44 * u), int32_t(40 * u)}, 0x6FCCFF);
    if (parent) {
      c.Triangle(24 * u, 19 * u, 15 * u, 28 * u, 33 * u, 28 * u, 0x205080);
      c.Fill({int32_t(21 * u), int32_t(27 * u), int32_t(27 * u), int32_t(36 * u)}, 0x205080);
    }
  }
  PixelSurface out(size, size, 0);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const uint32_t b = onBlack.pixels[i], w = onWhite.pixels[i];
    const uint32_t alpha = 255 - std::min<uint32_t>(255, ((w & 0xFF) - (b & 0xFF)));
    uint32_t colour = 0;
    if (alpha) {
      for (int shift = 0; shift < 24; shift += 8)
        colour |= std::min<uint32_t>(255, ((b >> shift) & 0xFF) * 255 / alpha) << shift;
    }
    out.pixels[i] = colour | alpha << 24;
  }
  return out;
}

// A sheet of paper, for files the system has no picture for.
PixelSurface DocumentIcon(int32_t size) {
  PixelSurface out(size, size, 0);
  const double u = size / 48.0;
  const ViewRect sheet{int32_t(10 * u), int32_t(4 * u), int32_t(38 * u), int32_t(44 * u)};
  for (int32_t y = sheet.top; y < sheet.bottom; ++y)
    for (int32_t x = sheet.left; x < sheet.right; ++x) {
      const bool edge = x == sheet.left || y == sheet.top || x == sheet.right - 1 || y == sheet.bottom - 1;
      out.Row(y)[x] = edge ? 0xFF707070u : 0xFFF4F4F4u;
    }
  return out;
}

}  // namespace

ViewRect IndexWindow::ScrollBarRect() const {
  if (grid_.height <= client_.height || client_.height <= 0) return {};
  const int32_t thumb = std::max(16, int32_t(int64_t(client_.height) * client_.height / grid_.height));
  const int32_t room = client_.height - thumb;
  const int32_t most = grid_.height - client_.height;
  const int32_t top = most > 0 ? int32_t(int64_t(room) * scrollY_ / most) : 0;
  return {client_.width - kScrollBarWidth, top, client_.width, top + thumb};
}

std::shared_ptr<const PixelSurface> IndexWindow::IconFor(const IndexItem& item) {
  const int32_t size = std::max(16, int32_t(kIconSize * dpi_ / 96));
  std::u16string key;
  bool ownFolder = false, parent = false;
  if (item.kind == ItemKind::kFolder && !item.IsDriveRoot()) {
    ownFolder = true;
    parent = item.Name() == u"..";
    key = parent ? u"<parent>" : u"<folder>";
  } else if (item.IsDriveRoot() || HasExtension(item.Name(), u".exe") || HasExtension(item.Name(), u".lnk") ||
             HasExtension(item.Name(), u".ico")) {
    key = item.path;  // pictures of their own
  } else {
    const size_t dot = item.Name().rfind(u'.');
    key = u"<ext>" + (dot == std::u16string_view::npos ? std::u16string() : AsciiLower(item.Name().substr(dot)));
  }
  auto& slot = icons_[key];
  if (slot) return slot;
  if (ownFolder) {
    slot = std::make_shared<PixelSurface>(FolderIcon(parent, size));
  } else if (auto shell = app_.Os().FileIcon(item.path, item.kind == ItemKind::kFolder, size)) {
    slot = std::make_shared<PixelSurface>(std::move(*shell));
  } else {
    slot = std::make_shared<PixelSurface>(DocumentIcon(size));
  }
  return slot;
}

void IndexWindow::PaintGrid(PixelSurface& s, int32_t top, bool scrollBar) {
  const OptionsBlock& o = Options();
  const uint32_t background = uint32_t(o.indexBackground[0]) | uint32_t(o.indexBackground[1]) << 8 |
                              uint32_t(o.indexBackground[2]) << 16;
  const uint32_t luminance = (o.indexBackground[2] * 3 + o.indexBackground[1] * 6 + o.indexBackground[0]) / 10;
  const uint32_t textColour = luminance < 128 ? 0xF0F0F0 : 0x202020;
  TextRenderer& text = app_.Os().Text();
  Canvas canvas(s, text);
  canvas.Fill(s.Bounds(), background);
  const FontSpec font{fontHeight_, false};
  const TextMeasure measure = [&](std::u16string_view t) { return text.Measure(t, font).width; };
  const int32_t h = lineHeight_;
  const ViewRect view{0, top, s.width, top + s.height};
  for (auto& item : items_) {
    if (!item->visible) continue;
    const ViewRect cell = item->cell;
    if (cell.bottom <= view.top || cell.top >= view.bottom) continue;
    const ViewRect content = ContentOfCell(cell, layout_);
    const ViewRect shownContent{content.left, content.top - top, content.right, content.bottom - top};
    if (item->selected) canvas.Blend(shownContent, kSelection, 110);
    if (item.get() == focus_) canvas.Frame(shownContent, Mix(background, textColour, 96));

    const ViewRect box = BoxOfCell(cell, layout_);
    const ViewRect shownBox{box.left, box.top - top, box.right, box.bottom - top};
    if (item->thumbnail) {
      const ImageBuffer& t = *item->thumbnail;
      DrawPicture(s, t, shownBox.left + (shownBox.Width() - int32_t(t.Width())) / 2,
                  shownBox.top + (shownBox.Height() - int32_t(t.Height())) / 2, shownBox);
    } else if (item->kind != ItemKind::kUnexamined && item->kind != ItemKind::kImage) {
      if (!item->icon) item->icon = IconFor(*item);
      const PixelSurface& icon = *item->icon;
      DrawIcon(s, icon, shownBox.left + (shownBox.Width() - icon.width) / 2,
               shownBox.top + (shownBox.Height() - icon.height) / 2, shownBox);
    }

    int32_t y = shownBox.bottom + 1;
    for (const CaptionLine& line : CaptionLines(*item, layout_, cell.Width(), measure)) {
      const int32_t lineHeight = line.comment ? h + 5 : h;
      if (!line.text.empty()) {
        const int32_t width = measure(line.text);
        const int32_t x = content.left + (content.Width() - width) / 2;
        canvas.Text(line.text, {x, y + (line.comment ? 2 : 0)}, textColour, font);
      }
      y += lineHeight;
    }
  }
  if (scrollBar) {
    const ViewRect bar = ScrollBarRect();
    if (!IsEmpty(bar)) canvas.Blend(bar, textColour, 90);
  }
}

void IndexWindow::OnPaint(PaintTarget& target, const ViewRect&) {
  const ViewSize client = Window()->ClientSize();
  if (client.width <= 0 || client.height <= 0) return;
  if (surface_.width != client.width || surface_.height != client.height) surface_.Resize(client.width, client.height);
  PaintGrid(surface_, scrollY_, true);
  target.DrawSurface(surface_, surface_.Bounds(), {0, 0});
}

RefPtr<ImageBuffer> IndexWindow::PaintIndexImage() {
  const int32_t width = std::max(grid_.width, 1), height = std::max(grid_.height, 1);
  PixelSurface whole(width, height);
  PaintGrid(whole, 0, false);
  RefPtr<ImageBuffer> image = ImageBuffer::Create(PixelFormat::Bgra8, uint32_t(width), uint32_t(height));
  if (!image) return nullptr;
  for (int32_t y = 0; y < height; ++y) std::memcpy(image->Row(uint32_t(y)), whole.Row(y), size_t(width) * 4);
  return image;
}

}  // namespace vt
