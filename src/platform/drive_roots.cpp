#include "platform/drive_roots.h"

#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>

#include "base/shared_mutex.h"
#include "index/name_pool.h"

namespace qm {

namespace {

SharedMutex rootsMutex;
// A drive without files maps to nothing.
using RootMap = std::map<std::u16string, std::optional<std::filesystem::path>>;
RootMap& Roots() {  // Under rootsMutex.
  static RootMap roots;
  return roots;
}

std::u16string FoldedDrive(std::u16string_view drive) {
  std::u16string folded(drive);
  for (char16_t& c : folded) c = FoldUnit(c);
  return folded;
}

}  // namespace

void SetDriveRoot(std::u16string_view drive, const std::filesystem::path& folder) {
  std::unique_lock guard(rootsMutex);
  if (folder.empty()) {
    Roots().erase(FoldedDrive(drive));
  } else {
    Roots()[FoldedDrive(drive)] = folder;
  }
}

void SetDriveWithoutFiles(std::u16string_view drive) {
  std::unique_lock guard(rootsMutex);
  Roots()[FoldedDrive(drive)] = std::nullopt;
}

void ClearDriveRoots() {
  std::unique_lock guard(rootsMutex);
  Roots().clear();
}

std::filesystem::path NativeFilePath(std::u16string_view fullPath) {
  const size_t colon = fullPath.find(u':');
  std::u16string rest;
  std::filesystem::path root;
  bool mapped = false;
  if (colon != std::u16string_view::npos) {
    std::shared_lock guard(rootsMutex);
    auto found = Roots().find(FoldedDrive(fullPath.substr(0, colon + 1)));
    if (found != Roots().end()) {
      if (!found->second) return {};
      root = *found->second;
      rest = fullPath.substr(colon + 1);
      mapped = true;
    }
  }
  if (!mapped) rest = fullPath;
  if (std::filesystem::path::preferred_separator != u'\\') {
    for (char16_t& c : rest)
      if (c == u'\\') c = char16_t(std::filesystem::path::preferred_separator);
  }
  if (!mapped) return std::filesystem::path(rest);
  // The rest starts with a separator (or is empty for the drive itself): appended as text so
  // that it never replaces the root.
  std::filesystem::path native = root;
  native += std::filesystem::path(rest);
  return native;
}

}  // namespace qm
