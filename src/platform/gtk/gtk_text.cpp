#include "platform/gtk/gtk_text.h"

#include <pango/pangocairo.h>

#include "base/text.h"

namespace vt {

struct PangoTextRenderer::State {
  PangoContext* context = nullptr;  // for measuring, without a surface
  std::map<std::pair<int32_t, bool>, PangoFontDescription*> fonts;

  PangoFontDescription* Font(const FontSpec& spec) {
    auto& f = fonts[{spec.pixelHeight, spec.bold}];
    if (!f) {
      f = pango_font_description_from_string("Sans");
      pango_font_description_set_absolute_size(f, double(spec.pixelHeight) * PANGO_SCALE);
      pango_font_description_set_weight(f, spec.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    }
    return f;
  }
  // Grey anti-aliasing: the surfaces are later copied anywhere, so sub-pixel
  // colour fringes would not line up.
  static void SetOptions(PangoContext* context) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
  }
  PangoLayout* Layout(PangoContext* in, std::u16string_view text, const FontSpec& spec) {
    PangoLayout* layout = pango_layout_new(in);
    pango_layout_set_font_description(layout, Font(spec));
    const std::string utf8 = Utf16ToUtf8(text);
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    return layout;
  }
};

PangoTextRenderer::PangoTextRenderer() : state_(std::make_unique<State>()) {
  state_->context = pango_font_map_create_context(pango_cairo_font_map_get_default());
  State::SetOptions(state_->context);
}

PangoTextRenderer::~PangoTextRenderer() {
  for (auto& [key, f] : state_->fonts) pango_font_description_free(f);
  if (state_->context) g_object_unref(state_->context);
}

ViewSize PangoTextRenderer::Measure(std::u16string_view text, const FontSpec& font) {
  PangoLayout* layout = state_->Layout(state_->context, text, font);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  g_object_unref(layout);
  return {w, h};
}

void PangoTextRenderer::Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour,
                             const FontSpec& font, const ViewRect& clip) {
  const ViewRect r = Intersect(clip, surface.Bounds());
  if (IsEmpty(r) || text.empty()) return;
  // The surface's words are cairo's native-endian premultiplied ARGB: opaque
  // pixels are the same either way.
  cairo_surface_t* target =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(surface.pixels.data()), CAIRO_FORMAT_ARGB32,
                                          surface.width, surface.height, surface.width * 4);
  cairo_t* cr = cairo_create(target);
  cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
  cairo_clip(cr);
  cairo_set_source_rgb(cr, (colour >> 16 & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0, (colour & 0xFF) / 255.0);
  PangoContext* context = pango_cairo_create_context(cr);
  State::SetOptions(context);
  PangoLayout* layout = state_->Layout(context, text, font);
  cairo_move_to(cr, at.x, at.y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  g_object_unref(context);
  cairo_destroy(cr);
  cairo_surface_flush(target);
  cairo_surface_destroy(target);
}

}  // namespace vt
