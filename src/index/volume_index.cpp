#include "index/volume_index.h"

#include <mutex>

#include "index/journal_monitor.h"
#include "index/volume_build.h"

namespace qm {

// Normally released through ReleaseVolumeIndex, which stops the monitor first; an index
// destroyed any other way must not leave its monitor running on freed memory either.
VolumeIndex::~VolumeIndex() {
  StopMonitor(*this);
}

void VolumeIndexDeleter::operator()(VolumeIndex* index) const {
  ReleaseVolumeIndex(index);
}

uint64_t AppendRecord(VolumeIndex& index, uint64_t frn, uint64_t parentFrn, uint32_t name,
                      uint16_t nameLength, bool isDirectory) {
  uint64_t recordIndex = index.records.size();
  if (recordIndex > 0) {
    const FileRecord& previous = index.records.back();
    if (name <= uint64_t(previous.name) + previous.nameLength) index.namesInRecordOrder = false;
  }
  if (frn == parentFrn) {
    index.rootFrn = frn;
    index.hasRoot = true;
  }
  // A folder is never counted by extension: its name is not read for one.
  const uint8_t extension = isDirectory ? ExtensionCodes::kNoExtension
                                        : index.extensions.CodeOf(index.names.At(name), nameLength);
  index.records.push_back(FileRecord{frn, parentFrn, name, nameLength, uint8_t(isDirectory ? 1 : 0),
                                     /*deleted=*/0, extension});
  return recordIndex;
}

void MarkRecordDeleted(VolumeIndex& index, uint64_t recordIndex) {
  std::unique_lock guard(index.lock);
  if (recordIndex < RecordCount(index)) index.records[recordIndex].deleted = 1;
}

void ResetVolumeIndex(VolumeIndex& index) {
  index.records.clear();
  index.names.Reset();
  index.indexByFrn.Clear();
  index.children.Clear();
  index.extensions.Clear();
  index.hasRoot = false;
  index.namesInRecordOrder = true;
  std::unique_lock guard(index.propertiesLock);
  index.properties.clear();
}

bool LookupProperties(const VolumeIndex& index, uint64_t frn, PropertyInfo* out) {
  std::shared_lock guard(index.propertiesLock);
  auto it = index.properties.find(frn);
  if (it == index.properties.end()) return false;
  *out = it->second;
  return it->second.valid;
}

void StoreProperties(VolumeIndex& index, uint64_t frn, const PropertyInfo& entry) {
  std::unique_lock guard(index.propertiesLock);
  index.properties[frn] = entry;
}

void ForgetProperties(VolumeIndex& index, uint64_t frn) {
  std::unique_lock guard(index.propertiesLock);
  index.properties.erase(frn);
}

void ReleaseVolumeIndex(VolumeIndex* index) {
  if (!index) return;
  CloseVolume(*index);
  delete index;
}

}  // namespace qm
