// Full paths on demand: no path is stored anywhere; BuildPath walks parent references up
// through indexByFrn each time.
#pragma once

#include <cstdint>
#include <string>

#include "index/volume_index.h"

namespace qm {

// Ancestors a path shows at most; deeper nesting, and parent loops, lose their top.
inline constexpr int kMaxPathDepth = 100;

// The full path of record `recordIndex` (C:\dir\name), or the drive alone for an index out of
// range. Takes the index's lock shared itself: the caller must not hold it.
std::u16string BuildPath(const VolumeIndex& index, uint64_t recordIndex);

// Slashes become backslashes and A to Z become a to z: the form paths are compared in.
std::u16string NormalizePath(std::u16string text);

}  // namespace qm
