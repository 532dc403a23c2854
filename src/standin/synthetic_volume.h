// Synthetic NTFS volumes shaped like a Windows system drive, for tests, benchmarks and the
// demo: the root (frn 0x0005000000000005, its own parent), the NTFS system files, a Windows,
// Program Files and Users tree with a few huge directories (System32, WinSxS, the servicing
// packages) and many small ones, about one entry in eight a directory, names of about 20
// UTF-16 units with realistic extensions, some with spaces, digits and non-ASCII letters.
//
// The output depends on the options only: the generator has its own random number generator
// (xoshiro256** seeded through splitmix64) and its own range mapping, so every standard
// library and platform produces the same volume, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "standin/fake_volume.h"
#include "standin/volume_image.h"

namespace qm {

struct SyntheticVolumeOptions {
  uint64_t seed = 1;
  size_t entryCount = 100000;  // entries the enumeration reports, root and system files included
  // Journal entries recorded after the enumeration: creations, deletions, renames, moves and
  // data changes of the generated entries, as NTFS writes them (several entries per operation,
  // the last with the close bit).
  size_t changeCount = 0;
};

// The volume as content: entries in ascending frn order, then the journal entries. Every
// parent is a directory of the volume. The journal's nextUsn is its position when the volume
// is enumerated, above every entry's USN; the journal entries are recorded after the
// enumeration, from nextUsn on.
VolumeContent GenerateSyntheticContent(const SyntheticVolumeOptions& options);

// The same volume put into `out` (which should be newly made).
void GenerateSyntheticVolume(const SyntheticVolumeOptions& options, FakeVolume& out);

// The same volume as the text of a volume image.
std::string GenerateVolumeImageText(const SyntheticVolumeOptions& options);

}  // namespace qm
