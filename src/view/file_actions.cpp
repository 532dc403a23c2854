#include "view/file_actions.h"

#include <memory>
#include <mutex>

#include "base/texts.h"
#include "index/build_path.h"
#include "index/volume_index.h"
#include "platform/drive_roots.h"
#include "search/filter_view.h"
#include "search/search.h"
#include "search/status_text.h"
#include "view/recent_opens.h"

namespace qm {

namespace {

constexpr std::u16string_view kDropEffectFormat = u"Preferred DropEffect";
constexpr uint32_t kDropEffectCopy = 1;
constexpr uint32_t kDropEffectMove = 2;
constexpr uint32_t kDropFilesHeaderBytes = 20;

void PutLittleEndian32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
}

void PutUnits(std::vector<uint8_t>& bytes, std::u16string_view text) {
  for (char16_t unit : text) {
    bytes.push_back(uint8_t(unit));
    bytes.push_back(uint8_t(unit >> 8));
  }
}

void ShowError(const FileActionContext& context, std::u16string_view text) {
  context.boxes.Show(context.owner, text, Text(TextId::kCaptionError), MessageButtons::kOk,
                     MessageIcon::kError);
}

// After a delete the list is searched again, keeping its sort. The journal reports the
// change only at its next read: the record is marked deleted now, so the list shows the change.
void SearchAgain(const FileActionContext& context, const MatchItem& item) {
  MarkRecordDeleted(*item.volume, item.recordIndex);
  std::u16string text = context.SearchText();
  StartSearch(std::move(text), true, false);
}

void RecordOpen(const FileActionContext& context, MatchItem item) {
  AddRecentOpen(context.config, item);
  RefreshEmptyQuery(context.SearchText());
}

void DeletePermanently(const FileActionContext& context, const MatchItem& item,
                       std::u16string_view path) {
  std::u16string question(Text(TextId::kDeleteQuestion));
  question += path;
  const MessageAnswer answer =
      context.boxes.Show(context.owner, question, Text(TextId::kCaptionConfirmDelete),
                         MessageButtons::kYesNo, MessageIcon::kWarning);
  if (answer != MessageAnswer::kYes) return;
  const Win32Error error = context.shell.DeleteOneFile(path);
  if (error == kErrorSuccess) {
    SearchAgain(context, item);
    return;
  }
  const std::unique_ptr<char16_t[]> text(NewStatusText(Text(TextId::kDeleteFailed), error));
  ShowError(context, text.get());
}

void MoveToRecycleBin(const FileActionContext& context, const MatchItem& item,
                      std::u16string_view path) {
  const FileOperationResult result =
      context.shell.OperateOnFiles(RecycleOperation(context.owner, path));
  if (result.result == 0 && !result.aborted) {
    SearchAgain(context, item);
  } else {
    ShowError(context, Text(TextId::kRecycleFailed));
  }
}

// Failures are silent; an opened clipboard is always closed.
void CopyPath(const FileActionContext& context, std::u16string_view path) {
  Clipboard& clipboard = context.clipboard;
  if (!clipboard.Open(context.owner)) return;
  clipboard.Empty();
  clipboard.Put(kClipboardUnicodeText, UnicodeTextBlock(path));
  clipboard.Close();
}

// The file itself, to be copied or moved by a paste.
void PutFileList(const FileActionContext& context, std::u16string_view path, bool cut) {
  Clipboard& clipboard = context.clipboard;
  if (clipboard.Open(context.owner)) {
    clipboard.Empty();
    if (clipboard.Put(kClipboardFileList, DropFilesBlock(path))) {
      // Without the drop effect a paste copies: the file list stays and nothing is reported.
      const uint32_t effect = clipboard.RegisterFormat(kDropEffectFormat);
      if (effect != 0) clipboard.Put(effect, DropEffectBlock(cut));
      clipboard.Close();
      return;
    }
    clipboard.Close();
  }
  ShowError(context, Text(TextId::kClipboardFailed));
}

}  // namespace

ShellExecuteInfo ShellExecuteFor(FileAction action, std::u16string_view path) {
  ShellExecuteInfo info;
  info.mask = kSeeMaskFlagNoUi;
  switch (action) {
    case FileAction::kRunAsAdministrator:
      info.verb = u"runas";
      break;
    case FileAction::kShowProperties:
      info.mask |= kSeeMaskInvokeIdList;
      info.verb = u"properties";
      break;
    default:
      info.verb = u"open";
      break;
  }
  info.file = path;
  return info;
}

ShellExecuteInfo RevealInExplorer(std::u16string_view windowsDirectory, std::u16string_view path) {
  ShellExecuteInfo info;
  info.verb = u"open";
  info.file = windowsDirectory;
  if (!info.file.empty() && info.file.back() != u'\\') info.file += u'\\';
  info.file += u"explorer.exe";
  info.parameters = u"/select,\"";
  info.parameters += path;
  info.parameters += u'"';
  return info;
}

FileOperation RecycleOperation(WindowHandle owner, std::u16string_view path) {
  FileOperation operation;
  operation.owner = owner;
  operation.function = kFoDelete;
  operation.from = path;
  operation.from.push_back(u'\0');
  operation.from.push_back(u'\0');
  operation.flags = kFofSilent | kFofNoConfirmation | kFofAllowUndo | kFofNoErrorUi;
  return operation;
}

std::vector<uint8_t> UnicodeTextBlock(std::u16string_view path) {
  std::vector<uint8_t> bytes;
  bytes.reserve((path.size() + 1) * 2);
  PutUnits(bytes, path);
  PutUnits(bytes, std::u16string_view(u"\0", 1));
  return bytes;
}

std::vector<uint8_t> DropFilesBlock(std::u16string_view path) {
  std::vector<uint8_t> bytes;
  bytes.reserve(path.size() * 2 + 24);
  PutLittleEndian32(bytes, kDropFilesHeaderBytes);  // pFiles
  PutLittleEndian32(bytes, 0);                      // pt.x
  PutLittleEndian32(bytes, 0);                      // pt.y
  PutLittleEndian32(bytes, 0);                      // fNC
  PutLittleEndian32(bytes, 1);                      // fWide
  PutUnits(bytes, path);
  PutUnits(bytes, std::u16string_view(u"\0\0", 2));  // the name's end and the list's
  return bytes;
}

std::vector<uint8_t> DropEffectBlock(bool cut) {
  std::vector<uint8_t> bytes;
  PutLittleEndian32(bytes, cut ? kDropEffectMove : kDropEffectCopy);
  return bytes;
}

void RunFileAction(const FileActionContext& context, int32_t code, int64_t selectedRow) {
  const ResultList list = GetDisplayList();
  if (selectedRow < 0 || !list || uint64_t(selectedRow) >= list->size()) return;
  MatchItem item;
  {
    std::lock_guard guard(filterMutex);
    item = (*list)[size_t(selectedRow)];
  }
  if (!item.volume) return;
  // What the system is given: the entry's path on this machine (the same path on a real drive;
  // none for a drive that has entries but no files).
  const std::u16string path = NativeFilePath(BuildPath(*item.volume, item.recordIndex)).u16string();
  if (path.empty()) return;

  switch (code) {
    case int32_t(FileAction::kOpenContainingFolder): {
      // The elevated program starts the system's Explorer by its full path, never by a bare
      // name the search path could resolve to another file.
      const std::u16string windows = context.shell.WindowsDirectory();
      if (windows.empty()) return;
      context.shell.Execute(RevealInExplorer(windows, path));
      MatchItem parent;
      if (ParentItem(item, &parent)) RecordOpen(context, parent);
      return;
    }
    case int32_t(FileAction::kOpenItem):
    case int32_t(FileAction::kRunAsAdministrator):
      // Recorded even when the shell failed or the elevation was declined.
      context.shell.ExecuteEx(ShellExecuteFor(FileAction(code), path));
      RecordOpen(context, item);
      return;
    case int32_t(FileAction::kShowProperties):
      context.shell.ExecuteEx(ShellExecuteFor(FileAction::kShowProperties, path));
      return;
    case int32_t(FileAction::kDeletePermanently):
      DeletePermanently(context, item, path);
      return;
    case int32_t(FileAction::kMoveToRecycleBin):
      MoveToRecycleBin(context, item, path);
      return;
    case int32_t(FileAction::kCopyPath):
      CopyPath(context, path);
      return;
    case int32_t(FileAction::kCopyToClipboard):
    case int32_t(FileAction::kCutToClipboard):
      PutFileList(context, path, code == int32_t(FileAction::kCutToClipboard));
      return;
    default:
      return;
  }
}

}  // namespace qm
