// The Linux menu entry offers the program for image types ("Open with"): each
// type it names must be one a built-in reader opens.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "files/navigate.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

TEST(DesktopEntryTest, EveryOfferedTypeHasAReader) {
  // The usual file extension of every type the entry may name.
  const std::map<std::string, std::string> extensionOf = {{"image/bmp", "bmp"},
                                                          {"image/x-bmp", "bmp"},
                                                          {"image/x-ms-bmp", "bmp"},
                                                          {"image/jpeg", "jpg"},
                                                          {"image/pjpeg", "jpg"},
                                                          {"image/png", "png"},
                                                          {"image/gif", "gif"},
                                                          {"image/tiff", "tif"},
                                                          {"image/vnd.adobe.photoshop", "psd"},
                                                          {"image/x-psd", "psd"},
                                                          {"image/x-tga", "tga"},
                                                          {"image/x-targa", "tga"},
                                                          {"image/x-pcx", "pcx"},
                                                          {"image/vnd.zbrush.pcx", "pcx"},
                                                          {"image/x-icon", "ico"},
                                                          {"image/vnd.microsoft.icon", "ico"},
                                                          {"image/x-dds", "dds"},
                                                          {"image/fits", "fits"},
                                                          {"image/x-hdr", "hdr"},
                                                          {"image/vnd.radiance", "hdr"},
                                                          {"image/x-iff", "iff"},
                                                          {"image/x-ilbm", "lbm"},
                                                          {"image/webp", "webp"}};
  FormatRegistry& formats = GlobalFormatRegistry();
  if (formats.Count() == 0) RegisterBuiltinFormats(formats);

  std::istringstream entry(
      test::ReadFileBytes(std::string(VT_SOURCE_DIR) + "/src/platform/gtk/vistrel.desktop"));
  std::string line, types;
  while (std::getline(entry, line))
    if (line.rfind("MimeType=", 0) == 0) types = line.substr(9);
  ASSERT_FALSE(types.empty());
  std::istringstream list(types);
  std::string type;
  int offered = 0;
  while (std::getline(list, type, ';')) {
    if (type.empty()) continue;
    ++offered;
    const auto ext = extensionOf.find(type);
    ASSERT_NE(ext, extensionOf.end()) << type << ": which extension does it have?";
    EXPECT_GE(FindImageFormat(test::U16("picture." + ext->second), formats), 0)
        << type << " is offered, but no reader opens ." << ext->second << " files";
  }
  EXPECT_GE(offered, 20);
}

}  // namespace
}  // namespace vt
#endif
