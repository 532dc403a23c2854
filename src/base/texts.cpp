#include "base/texts.h"

#include "base/language.h"

namespace qm {

namespace {

struct Entry {
  TextId id;
  TextPair pair;
};

// Constant-initialised, so texts may be read before main (the default filter tags are).
constexpr Entry kEntries[] = {
    {TextId::kCaptionInformation, {u"提示", u"Information"}},
    {TextId::kCaptionError, {u"错误", u"Error"}},
    {TextId::kCaptionCompleted, {u"完成", u"Completed"}},
    {TextId::kCaptionAdministrator, {u"Quillmarsh", u"Quillmarsh"}},
    {TextId::kCaptionNoNtfs, {u"Error", u"Error"}},
    {TextId::kCaptionConfirmDelete, {u"确认删除", u"Confirm Delete"}},
    {TextId::kCaptionConfirmReset, {u"确认重置", u"Confirm Reset"}},

    {TextId::kAlreadyRunning,
     {u"云雀寻迹 已经在运行中，请先关闭已有的实例。",
      u"Quillmarsh is already running. Please close the existing instance first."}},
    {TextId::kAdministratorRequired,
     {u"云雀寻迹 需要以管理员身份运行，才能访问磁盘 USN 日志。\n\n"
      u"请右键单击程序图标，选择“以管理员身份运行”。",
      u"Run as administrator required."}},

    {TextId::kTitleCreated, {u"初始化中...", u"Initializing..."}},
    {TextId::kTitleInitializing, {u"正在初始化全盘索引...", u"Initializing..."}},
    {TextId::kProductName, {u"云雀寻迹", u"Quillmarsh"}},
    {TextId::kHomepageHost, {u"quillmarsh.cn", u"quillmarsh.org"}},
    {TextId::kTitleResults, {u"云雀寻迹 - 共命中 %lld 个", u"Quillmarsh - %lld results found"}},
    {TextId::kNoNtfsSupport, {u"未找到NTFS支持日志或权限不足。", u"No NTFS MFT support."}},
    {TextId::kDriveAll, {u"ALL", u"ALL"}},
    {TextId::kStatusFilter, {u"筛选: ", u"Filter: "}},
    {TextId::kStatusHits, {u" | 命中: ", u" | Hits: "}},

    {TextId::kMenuOpen, {u"打开文件/目录", u"Open File/Folder"}},
    {TextId::kMenuOpenContainingFolder, {u"打开文件所在位置", u"Open Containing Folder"}},
    {TextId::kMenuDeleteFile, {u"删除文件", u"Delete File"}},
    {TextId::kMenuMoveToRecycleBin, {u"删除到回收站\tDelete", u"Move to Recycle Bin\tDelete"}},
    {TextId::kMenuRunAsAdministrator, {u"以管理员身份运行", u"Run as Administrator"}},
    {TextId::kMenuCopy, {u"复制", u"Copy"}},
    {TextId::kMenuCut, {u"剪切", u"Cut"}},
    {TextId::kMenuCopyPath, {u"复制文件路径", u"Copy File Path"}},
    {TextId::kMenuProperties, {u"属性", u"Properties"}},
    {TextId::kMenuClearRecent, {u"清空最近打开记录", u"Clear Recent Opens"}},
    {TextId::kMenuSetHotkey, {u"设置显示/隐藏快捷键", u"Set Show/Hide Hotkey"}},
    {TextId::kMenuOpenConfigFolder, {u"打开筛选配置目录", u"Open Filter Config Folder"}},
    {TextId::kMenuResetFilterTags, {u"恢复默认筛选标签", u"Reset Filter Tags to Defaults"}},

    {TextId::kScanStarting,
     {u"已过滤 %zu 个文本文件，开始读取内容...", u"Filtered %zu files, starting scan..."}},
    {TextId::kScanProgress,
     {u"扫描内容中... (已处理 %zu / %zu)", u"Scanning contents... (Processed %zu / %zu)"}},
    {TextId::kPropertiesProgress,
     {u"多线程极速提取属性中... (已处理 %zu / %zu)",
      u"Extracting properties... (Processed %zu / %zu)"}},

    {TextId::kColumnNumber, {u"行号", u"#"}},
    {TextId::kColumnName, {u"名称", u"Name"}},
    {TextId::kColumnSize, {u"大小", u"Size"}},
    {TextId::kColumnModified, {u"修改时间", u"Modified"}},
    {TextId::kColumnCreated, {u"创建时间", u"Created"}},
    {TextId::kColumnPath, {u"路径", u"Path"}},

    {TextId::kDeleteQuestion,
     {u"确定要永久删除此文件吗？\n\n", u"Are you sure you want to delete this file?\n\n"}},
    {TextId::kDeleteFailed,
     {u"删除失败！\n文件可能正在被使用，或权限不足。\n错误代码: %lu",
      u"Delete failed!\nFile might be in use or access denied.\nError: %lu"}},
    {TextId::kRecycleFailed, {u"删除到回收站失败。", u"Failed to move to Recycle Bin."}},
    {TextId::kClipboardFailed, {u"复制到剪贴板失败。", u"Failed to copy to clipboard."}},

    {TextId::kTagAllFiles, {u"所有文件", u"All Files"}},
    {TextId::kTagDocuments, {u"文档", u"Documents"}},
    {TextId::kTagImages, {u"图片", u"Images"}},
    {TextId::kTagArchives, {u"压缩包", u"Archives"}},
    {TextId::kTagApplications, {u"应用程序", u"Applications"}},
    {TextId::kTagVideos, {u"视频", u"Videos"}},
    {TextId::kTagAudio, {u"音频", u"Audio"}},
    {TextId::kResetTagsQuestion,
     {u"确定要恢复默认筛选标签吗？\n\n(提示：恢复或修改配置后，请重启软件以重新生成按钮)",
      u"Reset filter tags to defaults?\n\n(Restart software to apply UI changes)"}},
    {TextId::kResetTagsDone,
     {u"配置已重置，请关闭并重新打开软件。", u"Reset complete. Please restart."}},

    {TextId::kTrayTipShowHide, {u" 显示/隐藏", u" Show/Hide"}},
    {TextId::kMenuHomepage, {u"主页", u"Homepage"}},
    {TextId::kMenuRunOnStartup, {u"开机启动", u"Run on Startup"}},
    {TextId::kMenuShowWindow, {u"显示主窗口", u"Show Window"}},
    {TextId::kMenuExit, {u"退出", u"Exit"}},

    {TextId::kHotkeyPrompt,
     {u"请按下新的快捷键组合（至少包含 Ctrl / Alt / Shift，Esc 取消）",
      u"Press a new hotkey combination (include Ctrl / Alt / Shift, Esc to cancel)"}},
    {TextId::kHotkeyNeedsModifier,
     {u"快捷键至少需要包含 Ctrl、Alt 或 Shift。", u"Hotkey must include Ctrl, Alt, or Shift."}},
    {TextId::kHotkeySetTo, {u"快捷键已设置为：", u"Hotkey set to: "}},
    {TextId::kHotkeyRegisterFailed,
     {u"注册快捷键失败，请尝试其它组合。", u"Failed to register hotkey. Try another combination."}},

    {TextId::kAutoStartDisableFailed,
     {u"关闭开机启动失败。\n退出码: %lu", u"Failed to disable startup task.\nExit code: %lu"}},
    {TextId::kAutoStartCreateFailed,
     {u"创建任务计划开机启动失败，请确认当前程序以管理员身份运行。\n退出码: %lu",
      u"Failed to create startup task. Make sure the app is running as administrator.\n"
      u"Exit code: %lu"}},
};

constexpr bool EntriesFollowTheIds() {
  if (std::size(kEntries) != kTextCount) return false;
  for (size_t i = 0; i < kTextCount; ++i) {
    if (size_t(kEntries[i].id) != i) return false;
  }
  return true;
}
static_assert(EntriesFollowTheIds(), "one entry per TextId, in the order of the enum");

}  // namespace

const TextPair& TextPairOf(TextId id) {
  const size_t i = size_t(id) < kTextCount ? size_t(id) : 0;
  return kEntries[i].pair;
}

std::u16string_view TextIn(TextId id, bool chinese) {
  const TextPair& pair = TextPairOf(id);
  return chinese ? pair.chinese : pair.english;
}

std::u16string_view Text(TextId id) {
  return TextIn(id, IsChineseUi());
}

}  // namespace qm
