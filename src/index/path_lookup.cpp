#include "index/path_lookup.h"

#include <algorithm>
#include <shared_mutex>
#include <string>
#include <vector>

#include "index/build_path.h"

namespace qm {

namespace {

// Live records whose name is the last unit run after a backslash, by a scan of the drive.
// For drives without a root folder record and paths as deep as BuildPath cuts: their paths
// do not start at a root the walk could follow.
std::vector<uint32_t> ScanByName(const VolumeIndex& drive, std::u16string_view normalizedPath) {
  const size_t slash = normalizedPath.rfind(u'\\');
  const std::u16string_view name =
      slash == std::u16string_view::npos ? normalizedPath : normalizedPath.substr(slash + 1);
  std::vector<uint32_t> candidates;
  std::shared_lock guard(drive.lock);
  const uint64_t count = RecordCount(drive);
  for (uint64_t i = 0; i < count; ++i) {
    const FileRecord& record = drive.records[i];
    if (record.deleted || record.nameLength != name.size()) continue;
    if (FoldedEquals(RecordName(drive, record), name)) {
      candidates.push_back(uint32_t(i));
    }
  }
  return candidates;
}

struct Walk {
  const VolumeIndex& drive;
  std::vector<std::u16string_view> names;
  std::vector<uint32_t> found;

  bool IsNewest(const FileRecord& record, uint32_t index) const {
    const uint32_t* newest = drive.indexByFrn.Find(record.frn);
    return newest && *newest == index;
  }

  // BuildPath names each folder by the newest record of its reference number, deleted or
  // not, and stops below the root; the entry itself must be live.
  void Follow(size_t level, uint64_t parentFrn) {
    const bool last = level + 1 == names.size();
    drive.children.ForEachChild(
        drive.records, drive.names, parentFrn, names[level], [&](uint32_t index) {
          const FileRecord& record = drive.records[index];
          if (last) {
            if (!record.deleted) found.push_back(index);
          } else if (record.frn != record.parentFrn && IsNewest(record, index)) {
            Follow(level + 1, record.frn);
          }
        });
  }
};

std::vector<std::u16string_view> SplitNames(std::u16string_view rest) {
  std::vector<std::u16string_view> names;
  size_t start = 0;
  for (;;) {
    const size_t end = rest.find(u'\\', start);
    names.push_back(rest.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos) return names;
    start = end + 1;
  }
}

}  // namespace

bool FindPathOnDrive(const VolumeIndex& drive, std::u16string_view normalizedPath,
                     uint32_t* recordIndex) {
  const std::u16string folderMark = NormalizePath(drive.drive) + u'\\';
  if (!normalizedPath.starts_with(folderMark)) return false;
  Walk walk{drive, SplitNames(normalizedPath.substr(folderMark.size())), {}};
  bool walked = false;
  {
    std::shared_lock guard(drive.lock);
    if (drive.hasRoot && walk.names.size() <= size_t(kMaxPathDepth)) {
      walk.Follow(0, drive.rootFrn);
      walked = true;
    }
  }
  if (!walked) walk.found = ScanByName(drive, normalizedPath);
  std::sort(walk.found.begin(), walk.found.end());
  // BuildPath has the last word (it takes the lock itself).
  for (uint32_t index : walk.found) {
    if (NormalizePath(BuildPath(drive, index)) == normalizedPath) {
      *recordIndex = index;
      return true;
    }
  }
  return false;
}

}  // namespace qm
