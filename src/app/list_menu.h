// The result list's context menu: its items in order, which are grayed when the right click
// hit no row, and what each command does.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/menu_entry.h"
#include "base/texts.h"
#include "view/file_actions.h"

namespace qm {

inline constexpr uint32_t kCommandOpen = 10001;
inline constexpr uint32_t kCommandOpenContainingFolder = 10002;
inline constexpr uint32_t kCommandDeleteFile = 10003;
inline constexpr uint32_t kCommandRunAsAdministrator = 10004;
inline constexpr uint32_t kCommandCopyPath = 10005;
inline constexpr uint32_t kCommandProperties = 10006;
inline constexpr uint32_t kCommandOpenConfigFolder = 10007;
inline constexpr uint32_t kCommandResetFilterTags = 10008;
inline constexpr uint32_t kCommandCopy = 10009;
inline constexpr uint32_t kCommandCut = 10010;
inline constexpr uint32_t kCommandClearRecent = 10011;
inline constexpr uint32_t kCommandSetHotkey = 10012;
inline constexpr uint32_t kCommandMoveToRecycleBin = 10013;

// The menu, top to bottom; the file items are grayed unless `rowHit`.
std::vector<MenuEntry> ListMenuEntries(bool rowHit);

// The file action of a command; none for the other commands.
std::optional<FileAction> FileActionForCommand(uint32_t command);

// Runs what the tracked menu returned (below 1: dismissed, nothing). `beginHotkeyCapture`
// starts the capture of a new show/hide hotkey (may be empty).
void RunListMenuCommand(const FileActionContext& context, int32_t command, int64_t selectedRow,
                        const std::function<void()>& beginHotkeyCapture);

}  // namespace qm
