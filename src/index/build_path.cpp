#include "index/build_path.h"

#include <mutex>
#include <shared_mutex>

namespace qm {

std::u16string BuildPath(const VolumeIndex& index, uint64_t recordIndex) {
  std::shared_lock guard(index.lock);
  if (recordIndex >= RecordCount(index)) return index.drive;

  // The record itself and at most kMaxPathDepth ancestors, lowest first.
  const FileRecord* chain[kMaxPathDepth + 1];
  size_t chainLength = 0;
  const FileRecord& record = index.records[recordIndex];
  chain[chainLength++] = &record;
  size_t estimate = index.drive.size() + 1 + record.nameLength;

  uint64_t parent = record.parentFrn;
  for (int depth = 0; depth < kMaxPathDepth;) {
    const uint32_t* found = index.indexByFrn.Find(parent);
    if (!found) break;
    const FileRecord& ancestor = index.records[*found];
    if (ancestor.frn == ancestor.parentFrn) break;  // the root refers to itself
    chain[chainLength++] = &ancestor;
    parent = ancestor.parentFrn;
    ++depth;
    estimate += ancestor.nameLength + 1;
  }

  std::u16string path;
  path.reserve(estimate);
  path.append(index.drive);
  while (chainLength > 0) {
    const FileRecord* r = chain[--chainLength];
    path += u'\\';
    path.append(RecordName(index, *r));
  }
  return path;
}

std::u16string NormalizePath(std::u16string text) {
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
    c = FoldUnit(c);
  }
  return text;
}

}  // namespace qm
