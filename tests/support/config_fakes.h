// Stand-ins for the configuration seams: a ConfigSystem over the real file system whose
// Documents folder is a temporary folder and whose writes can be made to fail, an in-memory
// ConfigSystem for readers fed with arbitrary bytes, and message boxes that answer from a
// script and record what they showed.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/language.h"
#include "config/filter_tags.h"
#include "platform/config_system.h"
#include "platform/message_box.h"
#include "support/temp_folder.h"

namespace qm::testing {

// The program's backslash path as a std::filesystem path (a slash works on both systems).
inline std::filesystem::path FsPath(std::u16string_view path) {
  std::u16string copy(path);
  for (char16_t& c : copy) {
    if (c == u'\\') c = u'/';
  }
  return std::filesystem::path(copy);
}

inline std::optional<std::string> FileBytes(std::u16string_view path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void PutFileBytes(std::u16string_view path, std::string_view bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline bool FileExists(std::u16string_view path) {
  std::error_code error;
  return std::filesystem::exists(FsPath(path), error);
}

// The machine's ConfigSystem with a chosen Documents folder (none: the lookup fails), calls
// counted, and writes, copies and replacements that can be made to fail.
class TestConfigSystem : public ConfigSystem {
 public:
  explicit TestConfigSystem(std::optional<std::u16string> documents)
      : documents(std::move(documents)) {}

  bool DocumentsFolder(std::u16string* folder) override {
    if (!documents) return false;
    *folder = *documents;
    return true;
  }
  void MakeFolder(std::u16string_view path) override {
    madeFolders.emplace_back(path);
    real.MakeFolder(path);
  }
  bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
    return real.ReadBytes(path, maxBytes, bytes);
  }
  bool WriteBytes(std::u16string_view path, std::string_view bytes) override {
    writtenPaths.emplace_back(path);
    if (failWriteAfter) {
      // A full disk: part of the bytes reach the file, then the write fails.
      real.WriteBytes(path, bytes.substr(0, std::min(bytes.size(), *failWriteAfter)));
      return false;
    }
    return real.WriteBytes(path, bytes);
  }
  bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) override {
    if (failReplace) return false;
    return real.ReplaceAtomically(from, to);
  }
  std::u16string SaveTarget(std::u16string_view path) override { return real.SaveTarget(path); }
  void RemoveFile(std::u16string_view path) override { real.RemoveFile(path); }
  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    ++copies;
    writtenPaths.emplace_back(to);
    if (failWriteAfter) {
      // A full disk during the copy: the start of the source reaches `to`, then it fails.
      std::string bytes;
      real.ReadBytes(from, *failWriteAfter, &bytes);
      real.WriteBytes(to, bytes);
      return false;
    }
    return real.CopyOver(from, to);
  }

  ConfigSystem& real = SystemConfigSystem();
  std::optional<std::u16string> documents;
  std::optional<size_t> failWriteAfter;
  bool failReplace = false;
  std::vector<std::u16string> madeFolders;
  std::vector<std::u16string> writtenPaths;
  int copies = 0;
};

// Files held in memory, for readers fed with arbitrary bytes.
class MemoryConfigSystem : public ConfigSystem {
 public:
  bool DocumentsFolder(std::u16string* folder) override {
    *folder = u"M:\\Documents";
    return true;
  }
  void MakeFolder(std::u16string_view) override {}
  bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
    auto it = files.find(std::u16string(path));
    if (it == files.end()) return false;
    *bytes = it->second.substr(0, maxBytes);
    return true;
  }
  bool WriteBytes(std::u16string_view path, std::string_view bytes) override {
    files[std::u16string(path)] = std::string(bytes);
    return true;
  }
  bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) override {
    auto it = files.find(std::u16string(from));
    if (it == files.end()) return false;
    files[std::u16string(to)] = std::move(it->second);
    files.erase(std::u16string(from));
    return true;
  }
  std::u16string SaveTarget(std::u16string_view path) override { return std::u16string(path); }
  void RemoveFile(std::u16string_view path) override { files.erase(std::u16string(path)); }
  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    auto it = files.find(std::u16string(from));
    if (it == files.end()) return false;
    files[std::u16string(to)] = it->second;
    return true;
  }

  std::map<std::u16string, std::string> files;
};

struct ShownBox {
  WindowHandle owner;
  std::u16string text;
  std::u16string caption;
  MessageButtons buttons;
  MessageIcon icon;
};

class ScriptedMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer Show(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                     MessageButtons buttons, MessageIcon icon) override {
    shown.push_back({owner, std::u16string(text), std::u16string(caption), buttons, icon});
    if (buttons == MessageButtons::kYesNo) return yesNoAnswer;
    return MessageAnswer::kOk;
  }

  MessageAnswer yesNoAnswer = MessageAnswer::kNo;
  std::vector<ShownBox> shown;
};

// Sets the language flag for one test and puts back the flag and filterTags afterwards.
class LanguageAndTagsGuard {
 public:
  explicit LanguageAndTagsGuard(bool chinese)
      : savedChinese(chineseUi.load()), savedTags(filterTags.Snapshot()) {
    chineseUi.store(chinese);
  }
  ~LanguageAndTagsGuard() {
    chineseUi.store(savedChinese);
    filterTags.Replace(*savedTags);
  }
  LanguageAndTagsGuard(const LanguageAndTagsGuard&) = delete;
  LanguageAndTagsGuard& operator=(const LanguageAndTagsGuard&) = delete;

 private:
  bool savedChinese;
  FilterTagsSnapshot savedTags;
};

}  // namespace qm::testing
