// Finding a record by its full path: the folders are followed by name from the drive's root
// (ChildMap), so a path that no longer exists costs as little as one that does.
#pragma once

#include <cstdint>
#include <string_view>

#include "index/volume_index.h"

namespace qm {

// The live record of `drive` whose full path (BuildPath), after NormalizePath, equals
// `normalizedPath` (itself normalized, drive name first); the lowest record index when several
// do. Takes the drive's lock shared itself.
bool FindPathOnDrive(const VolumeIndex& drive, std::u16string_view normalizedPath,
                     uint32_t* recordIndex);

}  // namespace qm
