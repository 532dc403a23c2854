// The machine as the headless front end presents it: the system's configuration files with
// another Documents folder, and drives served by stand-in volumes.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli_arguments.h"
#include "platform/config_system.h"
#include "platform/drive_system.h"

namespace qm::cli {

// The system's configuration files, with the Documents folder replaced by --config DIR.
class RedirectedConfigSystem final : public ConfigSystem {
 public:
  RedirectedConfigSystem(ConfigSystem& system, std::u16string documents)
      : system_(system), documents_(std::move(documents)) {}

  bool DocumentsFolder(std::u16string* folder) override {
    *folder = documents_;
    return true;
  }
  void MakeFolder(std::u16string_view path) override { system_.MakeFolder(path); }
  bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
    return system_.ReadBytes(path, maxBytes, bytes);
  }
  bool WriteBytes(std::u16string_view path, std::string_view bytes) override {
    return system_.WriteBytes(path, bytes);
  }
  bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) override {
    return system_.ReplaceAtomically(from, to);
  }
  void RemoveFile(std::u16string_view path) override { system_.RemoveFile(path); }
  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    return system_.CopyOver(from, to);
  }

 private:
  ConfigSystem& system_;
  std::u16string documents_;
};

// One NTFS drive per source, each of its own letter: an image is loaded into the in-memory
// volume, a folder is served by the folder-backed volume and becomes its drive's root for file
// access. On a missing folder or an unreadable or malformed image returns nothing, with the
// one-line reason in `error`.
std::unique_ptr<DriveSystem> MakeStandInDrives(const std::vector<DriveSource>& sources,
                                               std::string* error);

}  // namespace qm::cli
