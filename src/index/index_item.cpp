#include "index/index_item.h"

#include <cstdio>

#include "base/file_system.h"
#include "base/text.h"
#include "image/image_properties.h"

namespace vt {

std::u16string_view IndexItem::FolderPart() const {
  const std::u16string_view p(path);
  if (kind == ItemKind::kFolder) return p;
  size_t n = nameStart;
  if (n > 0 && IsPathSeparator(p[n - 1])) --n;
  return p.substr(0, n);
}

bool IndexItem::IsDriveRoot() const {
  return path.size() == 3 && path[1] == u':' && IsPathSeparator(path[2]) &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

std::unique_ptr<IndexItem> MakeIndexItem(std::u16string_view folder, std::u16string_view name, bool isFolder,
                                         uint64_t size, uint64_t lastWriteTime) {
  auto item = std::make_unique<IndexItem>();
  item->path = folder;
  if (!item->path.empty() && !IsPathSeparator(item->path.back())) item->path += kPathSeparator;
  item->nameStart = item->path.size();
  item->path += name;
  if (item->path.size() + 1 > kMaxItemPath) {
    item->path = kPathTooLongText;
    item->nameStart = 0;
  }
  item->kind = isFolder ? ItemKind::kFolder
               : HasExtension(name, u".vts") ? ItemKind::kScript
                                             : ItemKind::kUnexamined;
  item->fileSize = size;
  item->lastWriteTime = lastWriteTime;
  return item;
}

bool HasExtension(std::u16string_view name, std::u16string_view ext) {
  return name.size() >= ext.size() && EqualsIgnoreAsciiCase(name.substr(name.size() - ext.size()), ext);
}

std::u16string FileSizeText(uint64_t size) {
  char text[48];
  if (size < 1024) {
    std::snprintf(text, sizeof text, "%llu ", static_cast<unsigned long long>(size));
    return AsciiToUtf16(text) + u"字节";
  }
  // Tenths, rounded: the KB figure's half-unit is 511/1024, the MB figure's
  // 0x7FC00/0x100000.
  const bool kilo = size < 0x12D000;
  const uint64_t t = kilo ? (size * 10 + 511) >> 10 : (size * 10 + 0x7FC00) >> 20;
  std::snprintf(text, sizeof text, "%llu.%llu %s", static_cast<unsigned long long>(t / 10),
                static_cast<unsigned long long>(t % 10), kilo ? "KB" : "MB");
  return AsciiToUtf16(text);
}

std::u16string FileDateText(uint64_t fileTime) {
  if (fileTime == 0) return {};
  // Days since 1601-01-01 to a civil date (proleptic Gregorian).
  const int64_t seconds = static_cast<int64_t>(fileTime / 10000000);
  int64_t days = seconds / 86400;
  const int64_t daySeconds = seconds % 86400;
  // Shift to days since 0000-03-01 so that leap days end the year: 1970-01-01
  // is day 719468 of that count and 134774 days after 1601-01-01.
  days += 719468 - 134774;
  const int64_t era = days / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return FormatFileTime(year, month, day, static_cast<int>(daySeconds / 3600),
                        static_cast<int>(daySeconds / 60 % 60), static_cast<int>(daySeconds % 60));
}

std::u16string ResolutionText(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
  char text[48];
  std::snprintf(text, sizeof text, "%ux%ux%u", width, height, bitsPerPixel);
  return AsciiToUtf16(text);
}

}  // namespace vt
