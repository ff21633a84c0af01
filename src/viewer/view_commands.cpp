#include "viewer/view_commands.h"

#include <iterator>

namespace vt {

namespace {

struct CommandEntry {
  std::u16string_view name;
  bool available;
};

// Indexed by command - 20000.
constexpr CommandEntry kViewCommands[] = {
    {u"加载新的", true},                   // 20000
    {u"下一个图像文件", true},             // 20001
    {u"上一个图像文件", true},             // 20002
    {u"文件夹中的第一个图像文件", true},   // 20003
    {u"文件夹中的最后一个图像文件", true}, // 20004
    {u"生成新的", true},                   // 20005
    {u"生成下一个图像", true},             // 20006
    {u"生成上一个图像", true},             // 20007
    {u"索引", true},                       // 20008
    {u"切换到下一个窗口", true},           // 20009
    {u"切换到上一个窗口", true},           // 20010
    {u"将图像调整为窗口大小", true},       // 20011
    {u"将窗口调整到图像大小", true},       // 20012
    {u"恢复原始大小", true},               // 20013
    {u"修剪图像到窗口", true},             // 20014
    {u"切换全屏", true},                   // 20015
    {u"缩放到 12% 大小", true},            // 20016
    {u"缩放到 25% 大小", true},            // 20017
    {u"缩放到 50% 大小", true},            // 20018
    {u"缩放到 75% 大小", true},            // 20019
    {u"缩放到 100% 大小", true},           // 20020
    {u"缩放到 150% 大小", true},           // 20021
    {u"缩放到 200% 大小", true},           // 20022
    {u"缩放到 400% 大小", true},           // 20023
    {u"缩放到 800% 大小", true},           // 20024
    {u"放大", true},                       // 20025
    {u"缩小", true},                       // 20026
    {u"缩放打印预览", true},               // 20027
    {u"Rotate image -90°", true},         // 20028
    {u"Rotate image 180°", true},         // 20029
    {u"Rotate image +90°", true},         // 20030
    {u"垂直镜像", true},                  // 20031
    {u"水平镜像", true},                  // 20032
    {u"冻结窗口", true},                   // 20033
    {u"从文件重新加载", true},             // 20034
    {u"调整图像", true},                  // 20035
    {u"图像文件信息", false},              // 20036
    {u"颜色取样器", true},                 // 20037
    {u"另存为", false},                    // 20038
    {u"重命名文件", false},                // 20039
    {u"复制文件", false},                  // 20040
    {u"移动文件", false},                  // 20041
    {u"删除文件", false},                  // 20042
    {u"删除并显示下一个", false},          // 20043
    {u"擦除文件", false},                  // 20044
    {u"擦除并显示下一个", false},          // 20045
    {u"在资源管理器中打开文件夹", true},   // 20046
    {u"用作桌面壁纸", false},              // 20047
    {u"复制到剪贴板", false},              // 20048
    {u"从剪贴板粘贴", false},              // 20049
    {u"创建幻灯片脚本", false},            // 20050
    {u"幻灯片", false},                    // 20051
    {u"取消", true},                       // 20052
    {u"以全屏模式运行", true},             // 20053
    {u"捕获屏幕截图", true},               // 20054
    {u"捕获窗口快照", true},               // 20055
    {u"选项", false},                      // 20056
    {u"全屏模式", true},                   // 20057
    {u"还原窗口", true},                   // 20058
    {u"将窗口置于前台", true},             // 20059
    {u"向窗口发送返回", true},             // 20060
    {u"最顶层窗口", true},                 // 20061
    {u"帮助", true},                       // 20062
    {u"关闭所有窗口", true},               // 20063
    {u"关闭", true},                       // 20064
};
static_assert(std::size(kViewCommands) == kLastUserCommand - kFirstUserCommand + 1);

// Indexed by command - 22000; empty: reached only by keys.
constexpr std::u16string_view kIndexCommands[] = {
    u"生成新的",     u"递归子文件夹", u"",           u"",             u"查看图像",     u"复制文件",
    u"移动文件",     u"删除文件",     u"擦除文件",   u"重命名文件",   u"将索引另存为位图", u"",
    u"重新创建",     u"保存缓存",     u"更新缓存",   u"移除缓存",     u"",             u"冻结窗口",
    u"创建幻灯片脚本", u"幻灯片",     u"以全屏模式运行", u"按完整路径", u"按名称",     u"按文件大小",
    u"按文件日期",   u"按图像大小",   u"文件夹",     u"非图像文件",   u"名称 (1 行)",  u"名称 (2 行)",
    u"名称 (3 行)",  u"名称 (4 行)",  u"分辨率",     u"文件扩展名",   u"文件大小",     u"文件日期",
    u"注释",         u"查看索引",     u"查看幻灯片", u"编辑幻灯片",   u"打开",         u"选项",
    u"帮助",         u"",             u"关闭",
};
static_assert(std::size(kIndexCommands) == 45);

}  // namespace

std::u16string_view ViewCommandName(uint32_t command) {
  if (command < kFirstUserCommand || command > kLastUserCommand) return {};
  return kViewCommands[command - kFirstUserCommand].name;
}

std::u16string_view IndexCommandName(uint32_t command) {
  if (command < 22000 || command >= 22000 + std::size(kIndexCommands)) return {};
  return kIndexCommands[command - 22000];
}

bool IsViewCommandAvailable(uint32_t command) {
  if (command < kFirstUserCommand || command > kLastUserCommand) return false;
  return kViewCommands[command - kFirstUserCommand].available;
}

}  // namespace vt
