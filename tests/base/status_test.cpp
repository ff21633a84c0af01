#include "base/status.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(StatusText, EveryCodeOfTheTableHasItsText) {
  EXPECT_EQ(StatusText(status::kGeneralFailure), u"一般故障");
  EXPECT_EQ(StatusText(status::kCannotOpenFile), u"无法打开文件");
  EXPECT_EQ(StatusText(status::kUnknownFormat), u"未知的文件格式");
  EXPECT_EQ(StatusText(status::kDamaged), u"文件损坏, 被截断或格式错误");
  EXPECT_EQ(StatusText(status::kMissingDll), u"缺少必需的 DLL");
  EXPECT_EQ(StatusText(status::kCancelled), u"操作已取消");
  // The table runs without gaps from 0x80040200 to 0x8004020c.
  for (uint32_t c = 0x80040200u; c <= 0x8004020cu; ++c)
    EXPECT_NE(StatusText(static_cast<Status>(c)), u"未知错误") << std::hex << c;
}

TEST(StatusText, CodesOutsideTheTableAreUnknown) {
  EXPECT_EQ(StatusText(static_cast<Status>(0x8004020du)), u"未知错误");
  EXPECT_EQ(StatusText(static_cast<Status>(0x800401ffu)), u"未知错误");
  EXPECT_EQ(StatusText(0), u"未知错误");
  EXPECT_EQ(StatusText(-1), u"未知错误");
}

TEST(Status, SignDecidesSuccess) {
  EXPECT_TRUE(Succeeded(0));
  EXPECT_TRUE(Succeeded(1));
  EXPECT_FALSE(Succeeded(status::kCancelled));
  EXPECT_TRUE(Failed(status::kGeneralFailure));
}

}  // namespace
}  // namespace vt
