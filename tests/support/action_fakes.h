// Stand-ins for what the file actions reach: a shell, a clipboard and message boxes that record
// every call, in order, in one shared log, and answer from switches set by the test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/message_box.h"
#include "platform/shell_actions.h"
#include "platform/utf8.h"

namespace qm::testing {

using CallLog = std::vector<std::string>;

class RecordingShell : public ShellActions {
 public:
  explicit RecordingShell(CallLog& log) : log_(log) {}

  bool ExecuteEx(const ShellExecuteInfo& info) override {
    log_.push_back("ExecuteEx");
    executedEx.push_back(info);
    return executeExSucceeds;
  }
  void Execute(const ShellExecuteInfo& info) override {
    log_.push_back("Execute");
    executed.push_back(info);
  }
  Win32Error DeleteOneFile(std::u16string_view path) override {
    log_.push_back("DeleteFile");
    deleted.emplace_back(path);
    return deleteError;
  }
  FileOperationResult OperateOnFiles(const FileOperation& operation) override {
    log_.push_back("OperateOnFiles");
    operations.push_back(operation);
    return operationResult;
  }
  std::u16string WindowsDirectory() override {
    log_.push_back("WindowsDirectory");
    return windowsDirectory;
  }

  bool executeExSucceeds = true;
  Win32Error deleteError = kErrorSuccess;
  FileOperationResult operationResult;
  std::u16string windowsDirectory = u"C:\\Windows";

  std::vector<ShellExecuteInfo> executedEx;
  std::vector<ShellExecuteInfo> executed;
  std::vector<std::u16string> deleted;
  std::vector<FileOperation> operations;

 private:
  CallLog& log_;
};

class RecordingClipboard : public Clipboard {
 public:
  static constexpr uint32_t kDropEffectFormat = 0xC1F0;

  explicit RecordingClipboard(CallLog& log) : log_(log) {}

  bool Open(WindowHandle owner) override {
    log_.push_back("Open");
    owners.push_back(owner);
    return !failOpen;
  }
  void Empty() override { log_.push_back("Empty"); }
  uint32_t RegisterFormat(std::u16string_view name) override {
    log_.push_back("RegisterFormat " + ToUtf8(name));
    return kDropEffectFormat;
  }
  bool Put(uint32_t format, const std::vector<uint8_t>& bytes) override {
    log_.push_back("Put " + std::to_string(format));
    put.push_back({format, bytes});
    return failPutFormat != format;
  }
  void Close() override { log_.push_back("Close"); }

  bool failOpen = false;
  std::optional<uint32_t> failPutFormat;

  struct PutCall {
    uint32_t format;
    std::vector<uint8_t> bytes;
  };
  std::vector<WindowHandle> owners;
  std::vector<PutCall> put;

 private:
  CallLog& log_;
};

struct ShownMessage {
  WindowHandle owner;
  std::u16string text;
  std::u16string caption;
  MessageButtons buttons;
  MessageIcon icon;
};

class RecordingMessageBoxes : public MessageBoxes {
 public:
  explicit RecordingMessageBoxes(CallLog& log) : log_(log) {}

  MessageAnswer Show(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                     MessageButtons buttons, MessageIcon icon) override {
    log_.push_back("Box");
    shown.push_back({owner, std::u16string(text), std::u16string(caption), buttons, icon});
    return buttons == MessageButtons::kYesNo ? yesNoAnswer : MessageAnswer::kOk;
  }

  MessageAnswer yesNoAnswer = MessageAnswer::kNo;
  std::vector<ShownMessage> shown;

 private:
  CallLog& log_;
};

}  // namespace qm::testing
