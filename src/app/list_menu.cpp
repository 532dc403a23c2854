#include "app/list_menu.h"

#include <array>

#include "config/config_dir.h"
#include "config/filter_tags.h"
#include "search/search.h"
#include "view/recent_opens.h"

namespace qm {

namespace {

struct MenuItemDefinition {
  uint32_t command;
  TextId text;
  bool needsRow;
};

constexpr std::array<MenuItemDefinition, 15> kListMenu = {{
    {kCommandOpen, TextId::kMenuOpen, true},
    {kCommandOpenContainingFolder, TextId::kMenuOpenContainingFolder, true},
    {0, TextId::kCount, false},
    {kCommandDeleteFile, TextId::kMenuDeleteFile, true},
    {kCommandMoveToRecycleBin, TextId::kMenuMoveToRecycleBin, true},
    {kCommandRunAsAdministrator, TextId::kMenuRunAsAdministrator, true},
    {kCommandCopy, TextId::kMenuCopy, true},
    {kCommandCut, TextId::kMenuCut, true},
    {kCommandCopyPath, TextId::kMenuCopyPath, true},
    {kCommandProperties, TextId::kMenuProperties, true},
    {0, TextId::kCount, false},
    {kCommandClearRecent, TextId::kMenuClearRecent, false},
    {kCommandSetHotkey, TextId::kMenuSetHotkey, false},
    {kCommandOpenConfigFolder, TextId::kMenuOpenConfigFolder, false},
    {kCommandResetFilterTags, TextId::kMenuResetFilterTags, false},
}};

// Commands 10001 to 10006, in order.
constexpr std::array<FileAction, 6> kFirstCommands = {
    FileAction::kOpenItem,          FileAction::kOpenContainingFolder,
    FileAction::kDeletePermanently, FileAction::kRunAsAdministrator,
    FileAction::kCopyPath,          FileAction::kShowProperties};

}  // namespace

std::vector<MenuEntry> ListMenuEntries(bool rowHit) {
  std::vector<MenuEntry> entries;
  entries.reserve(kListMenu.size());
  for (const MenuItemDefinition& item : kListMenu) {
    entries.push_back({item.command, item.text, item.needsRow && !rowHit, false});
  }
  return entries;
}

std::optional<FileAction> FileActionForCommand(uint32_t command) {
  if (command >= kCommandOpen && command <= kCommandProperties) {
    return kFirstCommands[command - kCommandOpen];
  }
  switch (command) {
    case kCommandCopy:
      return FileAction::kCopyToClipboard;
    case kCommandCut:
      return FileAction::kCutToClipboard;
    case kCommandMoveToRecycleBin:
      return FileAction::kMoveToRecycleBin;
    default:
      return std::nullopt;
  }
}

void RunListMenuCommand(const FileActionContext& context, int32_t command, int64_t selectedRow,
                        const std::function<void()>& beginHotkeyCapture) {
  if (command < 1) return;  // dismissed
  if (const std::optional<FileAction> action = FileActionForCommand(uint32_t(command))) {
    RunFileAction(context, int32_t(*action), selectedRow);
    return;
  }
  switch (uint32_t(command)) {
    case kCommandClearRecent:
      ClearRecentOpens(context.config);
      RefreshEmptyQuery(context.SearchText());
      return;
    case kCommandSetHotkey:
      if (beginHotkeyCapture) beginHotkeyCapture();
      return;
    case kCommandOpenConfigFolder: {
      ShellExecuteInfo info;
      info.verb = u"open";
      info.file = ConfigDir(context.config);
      context.shell.Execute(info);
      return;
    }
    case kCommandResetFilterTags:
      ResetFilterTags(context.config, context.boxes, context.owner);
      return;
    default:
      return;
  }
}

}  // namespace qm
