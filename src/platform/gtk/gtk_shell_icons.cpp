#include "platform/gtk/gtk_shell_icons.h"

#include <gtk/gtk.h>

#include "base/text.h"

namespace vt {

std::optional<PixelSurface> GtkFileIcon(const std::u16string& path, bool folder, int32_t size) {
  const std::string name = Utf16ToUtf8(path);
  gchar* type = folder ? g_strdup("inode/directory") : g_content_type_guess(name.c_str(), nullptr, 0, nullptr);
  if (!type) return std::nullopt;
  GIcon* icon = g_content_type_get_icon(type);
  g_free(type);
  if (!icon) return std::nullopt;
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  GtkIconInfo* info = theme ? gtk_icon_theme_lookup_by_gicon(theme, icon, size, GTK_ICON_LOOKUP_FORCE_SIZE) : nullptr;
  g_object_unref(icon);
  if (!info) return std::nullopt;
  GdkPixbuf* pixbuf = gtk_icon_info_load_icon(info, nullptr);
  g_object_unref(info);
  if (!pixbuf) return std::nullopt;
  PixelSurface out(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf));
  const int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  const guchar* bytes = gdk_pixbuf_read_pixels(pixbuf);
  for (int32_t y = 0; y < out.height; ++y)
    for (int32_t x = 0; x < out.width; ++x) {
      const guchar* p = bytes + size_t(y) * size_t(stride) + size_t(x) * size_t(channels);
      const uint32_t a = alpha ? p[3] : 0xFF;
      out.Row(y)[x] = a << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
  g_object_unref(pixbuf);
  return out;
}

}  // namespace vt
