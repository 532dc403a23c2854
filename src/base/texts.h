// Every user-visible text of the program, in its Chinese and its English form, asked for by
// name. Code that shows a text takes it from here and never writes the literal itself.
//
// Texts holding printf conversions (%lld, %zu, %lu) are format strings; both forms of a pair
// carry the same conversions in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qm {

enum class TextId : uint8_t {
  // Message box captions.
  kCaptionInformation,
  kCaptionError,
  kCaptionCompleted,
  kCaptionAdministrator,  // "Quillmarsh" in both languages
  kCaptionNoNtfs,         // "Error" in both languages
  kCaptionConfirmDelete,
  kCaptionConfirmReset,

  // Start-up.
  kAlreadyRunning,
  kAdministratorRequired,

  // Main window: titles, drive box, status line, index failure.
  kTitleCreated,
  kTitleInitializing,
  kProductName,   // the idle title is this, " - " and the homepage host
  kHomepageHost,  // the product homepage's host for the language; its path is /quillmarsh
  kTitleResults,  // %lld: number of results
  kNoNtfsSupport,
  kDriveAll,      // first entry of the drive box, "ALL" in both languages
  kStatusFilter,  // followed by the tag label
  kStatusHits,    // follows the label, followed by the count

  // Result list context menu (the tray menu reuses kMenuSetHotkey and kMenuClearRecent).
  kMenuOpen,
  kMenuOpenContainingFolder,
  kMenuDeleteFile,
  kMenuMoveToRecycleBin,
  kMenuRunAsAdministrator,
  kMenuCopy,
  kMenuCut,
  kMenuCopyPath,
  kMenuProperties,
  kMenuClearRecent,
  kMenuSetHotkey,
  kMenuOpenConfigFolder,
  kMenuResetFilterTags,

  // Window titles posted by workers.
  kScanStarting,        // %zu: candidate files
  kScanProgress,        // %zu processed, %zu total
  kPropertiesProgress,  // %zu processed, %zu total

  // Result list column titles, left to right.
  kColumnNumber,
  kColumnName,
  kColumnSize,
  kColumnModified,
  kColumnCreated,
  kColumnPath,

  // File actions.
  kDeleteQuestion,  // followed by the full path
  kDeleteFailed,    // %lu: system error code
  kRecycleFailed,
  kClipboardFailed,

  // Filter tags: the default labels in table order, the reset question and notice.
  kTagAllFiles,
  kTagDocuments,
  kTagImages,
  kTagArchives,
  kTagApplications,
  kTagVideos,
  kTagAudio,
  kResetTagsQuestion,
  kResetTagsDone,

  // Tray icon and menu. The tip is kProductName, " - ", the hotkey name and kTrayTipShowHide.
  kTrayTipShowHide,
  kMenuHomepage,
  kMenuRunOnStartup,
  kMenuShowWindow,
  kMenuExit,

  // Hotkey capture.
  kHotkeyPrompt,
  kHotkeyNeedsModifier,
  kHotkeySetTo,  // followed by the hotkey name
  kHotkeyRegisterFailed,

  // Run on startup.
  kAutoStartDisableFailed,  // %lu: exit code
  kAutoStartCreateFailed,   // %lu: exit code

  kCount
};

struct TextPair {
  std::u16string_view chinese;
  std::u16string_view english;
};

inline constexpr size_t kTextCount = size_t(TextId::kCount);

// Both forms of a text. Valid for the whole run; usable during static initialisation.
const TextPair& TextPairOf(TextId id);

// The form for the language given, or for the process-wide flag (app/language.h).
std::u16string_view TextIn(TextId id, bool chinese);
std::u16string_view Text(TextId id);

}  // namespace qm
