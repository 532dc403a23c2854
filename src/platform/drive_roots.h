// Where a full path of the index (C:\dir\file) is found on this machine. A drive served from a
// folder by the folder-backed stand-in volume is mapped to that folder: its full paths name the
// files below the folder. A drive served from a volume image has entries but no files: its
// full paths name nothing, so that reading them never reaches a file of this machine that
// happens to have the same path. Any other path is the system's own (on POSIX systems, backslashes
// become slashes so that the path at least names nothing by accident).
//
// Thread-safe: the map is read by every file access of the workers and set up before they run.
#pragma once

#include <filesystem>
#include <string_view>

namespace qm {

// Maps `drive` (such as X:; A to Z folded) to `folder`. An empty folder removes the mapping.
void SetDriveRoot(std::u16string_view drive, const std::filesystem::path& folder);
// Marks `drive` as one without files: NativeFilePath gives the empty path for its full paths.
void SetDriveWithoutFiles(std::u16string_view drive);
void ClearDriveRoots();

// The path the system is asked about for the full path `fullPath`; empty when the path can
// name no file (callers then report the file as missing without asking the system).
std::filesystem::path NativeFilePath(std::u16string_view fullPath);

}  // namespace qm
