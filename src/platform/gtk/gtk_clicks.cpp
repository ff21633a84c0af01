#include "platform/gtk/gtk_clicks.h"

#include <glib.h>

#include <cstdlib>

#include "base/text.h"

namespace vt {

MouseAction ClickTracker::Press(uintptr_t window, int button, uint32_t time, ViewPoint at, const Limits& limits) {
  // Unsigned difference: the clock wraps around every 49 days.
  const bool pair = armed_ && window == window_ && button == button_ &&
                    static_cast<uint32_t>(time - time_) < limits.milliseconds &&
                    std::abs(int64_t{at.x} - at_.x) <= limits.distance &&
                    std::abs(int64_t{at.y} - at_.y) <= limits.distance;
  if (pair) {
    armed_ = false;
    return MouseAction::kDoubleClick;
  }
  armed_ = true;
  window_ = window;
  button_ = button;
  time_ = time;
  at_ = at;
  return MouseAction::kPress;
}

std::vector<std::u16string> LocalPathsOfUriList(std::string_view uriList) {
  std::vector<std::u16string> out;
  const std::string text(uriList);
  gchar** uris = g_uri_list_extract_uris(text.c_str());
  for (gchar** uri = uris; uri && *uri; ++uri) {
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(*uri, &host, nullptr);
    // A file URI may name the machine; another machine's file is not here.
    const bool local = !host || g_ascii_strcasecmp(host, "localhost") == 0 ||
                       g_ascii_strcasecmp(host, g_get_host_name()) == 0;
    if (path && local && *path) out.push_back(Utf8ToUtf16(path));
    g_free(path);
    g_free(host);
  }
  g_strfreev(uris);
  return out;
}

}  // namespace vt
