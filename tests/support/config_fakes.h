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

#include "app/language.h"
#include "config/filter_tags.h"
#include "platform/config_system.h"
#include "platform/message_box.h"

namespace qm::testing {

// The program's backslash path as a std::filesystem path (a slash works on both systems).
inline std::filesystem::path FsPath(std::u16string_view path) {
  std::u16string copy(path);
  for (char16_t& c : copy) {
    if (c == u'\\') c = u'/';
  }
  return std::filesystem::path(copy);
}

// The program's form of a std::filesystem path: backslash separators.
inline std::u16string ProgramPath(const std::filesystem::path& path) {
  std::u16string text = path.u16string();
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
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

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  explicit TempFolder(std::u16string_view leaf = u"qm-config") {
    static std::atomic<uint32_t> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path name{std::u16string(leaf)};
    // Appended piece by piece: GCC 12 at -O3 warns (falsely) about "literal" + std::string.
    std::string suffix(1, '-');
    suffix += std::to_string(now);
    suffix += '-';
    suffix += std::to_string(counter.fetch_add(1));
    name += suffix;
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::u16string program() const { return ProgramPath(path_); }

 private:
  std::filesystem::path path_;
};

// The machine's ConfigSystem with a chosen Documents folder (none: the lookup fails), calls
// counted, and writes and replacements that can be made to fail.
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
  void RemoveFile(std::u16string_view path) override { real.RemoveFile(path); }
  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    ++copies;
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
