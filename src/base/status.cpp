#include "base/status.h"

namespace vt {

namespace {
struct StatusEntry {
  Status code;
  std::u16string_view text;
};

constexpr StatusEntry kStatusTable[] = {
    {status::kGeneralFailure, u"一般故障"},
    {status::kInvalidArgument, u"功能参数无效"},
    {status::kOutOfMemory, u"内存不足"},
    {status::kCannotOpenFile, u"无法打开文件"},
    {status::kCannotCreateFile, u"无法创建文件"},
    {status::kCannotReadFile, u"无法读取文件"},
    {status::kCannotWriteFile, u"无法写入文件"},
    {status::kUnknownFormat, u"未知的文件格式"},
    {status::kDamaged, u"文件损坏, 被截断或格式错误"},
    {status::kUnsupportedSubformat, u"不支持的文件子格式"},
    {status::kUnsupportedColourFormat, u"指定了不支持的颜色格式"},
    {status::kMissingDll, u"缺少必需的 DLL"},
    {status::kCancelled, u"操作已取消"},
};
}  // namespace

std::u16string_view StatusText(Status code) {
  for (const StatusEntry& e : kStatusTable) {
    if (e.code == code) return e.text;
  }
  return u"未知错误";
}

}  // namespace vt
