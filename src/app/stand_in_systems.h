// The machine as a front end on stand-in drives presents it: the system's configuration files with
// another Documents folder, and drives served by stand-in volumes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/stand_in_options.h"
#include "platform/config_system.h"
#include "platform/drive_system.h"

namespace qm {

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
  std::u16string SaveTarget(std::u16string_view path) override { return system_.SaveTarget(path); }
  void RemoveFile(std::u16string_view path) override { system_.RemoveFile(path); }
  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    return system_.CopyOver(from, to);
  }

 private:
  ConfigSystem& system_;
  std::u16string documents_;
};

class FolderVolume;

// A folder-backed drive as its option gave it, for the checks after start-up.
struct StandInFolder {
  std::string path;            // as given
  const FolderVolume* volume;  // owned by the drive system
};

// One NTFS drive per source, each of its own letter: an image is loaded into the in-memory
// volume, a folder is served by the folder-backed volume and becomes its drive's root for file
// access. On a missing or unreadable folder or an unreadable or malformed image returns
// nothing, with the one-line reason in `error`. `folders` (may be null) receives the folders.
std::unique_ptr<DriveSystem> MakeStandInDrives(const std::vector<DriveSource>& sources,
                                               std::string* error,
                                               std::vector<StandInFolder>* folders = nullptr);

// The one-line complaint about the first folder that is gone or cannot be read now ("DIR: the
// folder is gone", "DIR: the folder cannot be read"), or nothing when all are sound: a drive
// whose folder went away while it was indexed says nothing true about it.
std::string FolderFault(const std::vector<StandInFolder>& folders);

// What a front end's start-up makes of the stand-in options: the configuration files (the
// system's, or with --config the system's under another Documents folder) and, when drives
// were given, the stand-in drive system (otherwise `drives` stays empty and the front end
// uses the machine's own).
struct StandInSetup {
  std::optional<RedirectedConfigSystem> redirected;
  std::unique_ptr<DriveSystem> drives;
  std::vector<StandInFolder> folders;  // the --folder drives, served by `drives`

  ConfigSystem& Config() {
    return redirected ? static_cast<ConfigSystem&>(*redirected) : SystemConfigSystem();
  }
};

enum class SetupFault { kNone, kConfig, kDrive };

// Sets the language flag: from --lang, else from the system's UI language.
void ApplyLanguageOption(const StandInOptions& options);

// Prepares `setup` (the language flag is set beforehand). A fault comes with a one-line complaint:
// "--config DIR: not a folder", or the reason a drive cannot be served (an image's own "file:line:
// message").
SetupFault PrepareStandIns(const StandInOptions& options, StandInSetup* setup, std::string* error);

}  // namespace qm
