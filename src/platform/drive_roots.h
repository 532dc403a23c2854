// Where a full path of the index (C:\dir\file) is found on this machine. A drive served from a
// folder by the folder-backed stand-in volume is mapped to that folder: its full paths name the
// files below the folder. Any other path is the system's own (on POSIX systems, backslashes
// become slashes so that the path at least names nothing by accident).
//
// Thread-safe: the map is read by every file access of the workers and set up before they run.
#pragma once

#include <filesystem>
#include <string_view>

namespace qm {

// Maps `drive` (such as X:; A to Z folded) to `folder`. An empty folder removes the mapping.
void SetDriveRoot(std::u16string_view drive, const std::filesystem::path& folder);
void ClearDriveRoots();

// The path the system is asked about for the full path `fullPath`.
std::filesystem::path NativeFilePath(std::u16string_view fullPath);

}  // namespace qm
