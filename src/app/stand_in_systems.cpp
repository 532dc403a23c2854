#include "app/stand_in_systems.h"

#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include "base/language.h"
#include "platform/command_line.h"
#include "platform/drive_roots.h"
#include "platform/ui_language.h"
#include "platform/utf8.h"
#include "standin/fake_volume.h"
#include "standin/folder_volume.h"
#include "standin/volume_image.h"

namespace qm {

namespace {

class StandInDriveSystem final : public DriveSystem {
 public:
  void Add(char letter, std::unique_ptr<VolumeDevice> device) {
    devices_[letter] = std::move(device);
  }

  uint32_t LogicalDriveMask() override {
    uint32_t mask = 0;
    for (const auto& [letter, device] : devices_) mask |= 1u << (letter - 'A');
    return mask;
  }

  bool FileSystemName(std::u16string_view root, std::u16string* name) override {
    if (Find(root) == nullptr) return false;
    *name = u"NTFS";
    return true;
  }

  VolumeDevice& DeviceFor(std::u16string_view drive) override {
    VolumeDevice* device = Find(drive);
    return device ? *device : none_;
  }

 private:
  VolumeDevice* Find(std::u16string_view driveOrRoot) {
    if (driveOrRoot.empty()) return nullptr;
    char16_t letter = driveOrRoot[0];
    if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - u'a' + u'A');
    auto found = devices_.find(char(letter));
    return found == devices_.end() ? nullptr : found->second.get();
  }

  std::map<char, std::unique_ptr<VolumeDevice>> devices_;
  FakeVolume none_{u"?:"};  // never asked for: discovery only opens drives it was shown
};

}  // namespace

std::unique_ptr<DriveSystem> MakeStandInDrives(const std::vector<DriveSource>& sources,
                                               std::string* error,
                                               std::vector<StandInFolder>* folders) {
  auto standIns = std::make_unique<StandInDriveSystem>();
  for (const DriveSource& source : sources) {
    const std::u16string drive = {char16_t(source.letter), u':'};
    if (source.folder) {
      const std::filesystem::path folder = PathFromArgument(source.path);
      std::error_code fault;
      if (!std::filesystem::is_directory(folder, fault)) {
        *error = source.path + ": not a folder";
        return nullptr;
      }
      const std::filesystem::path root = std::filesystem::absolute(folder, fault);
      auto volume = std::make_unique<FolderVolume>(drive, root);
      const StandInFolder standIn{source.path, volume.get()};
      if (std::string complaint = FolderFault({standIn}); !complaint.empty()) {
        *error = std::move(complaint);
        return nullptr;
      }
      if (folders) folders->push_back(standIn);
      SetDriveRoot(drive, root);
      standIns->Add(source.letter, std::move(volume));
    } else {
      auto volume = std::make_unique<FakeVolume>(drive);
      ImageError fault;
      if (!LoadVolumeImage(PathFromArgument(source.path), *volume, &fault)) {
        *error = fault.ToString();
        return nullptr;
      }
      // The stand-in's pauses stay short (1 ms): the monitor catches up with the image's
      // journal at once instead of one 300 ms poll per batch.
      standIns->Add(source.letter, std::move(volume));
      SetDriveWithoutFiles(drive);
    }
  }
  return standIns;
}

std::string FolderFault(const std::vector<StandInFolder>& folders) {
  for (const StandInFolder& folder : folders) {
    switch (folder.volume->Check()) {
      case FolderVolume::FolderState::kReadable:
        break;
      case FolderVolume::FolderState::kGone:
        return folder.path + ": the folder is gone";
      case FolderVolume::FolderState::kUnreadable:
        return folder.path + ": the folder cannot be read";
    }
  }
  return {};
}

void ApplyLanguageOption(const StandInOptions& options) {
  if (options.chinese) {
    chineseUi.store(*options.chinese);
  } else {
    SetLanguageFromSystem(SystemUiLanguage());
  }
}

SetupFault PrepareStandIns(const StandInOptions& options, StandInSetup* setup, std::string* error) {
  if (options.configDir) {
    std::error_code fault;
    if (!std::filesystem::is_directory(PathFromArgument(*options.configDir), fault)) {
      *error = "--config " + *options.configDir + ": not a folder";
      return SetupFault::kConfig;
    }
    setup->redirected.emplace(SystemConfigSystem(), ToUtf16(*options.configDir));
  }
  if (!options.drives.empty()) {
    setup->drives = MakeStandInDrives(options.drives, error, &setup->folders);
    if (!setup->drives) return SetupFault::kDrive;
  }
  return SetupFault::kNone;
}

}  // namespace qm
