// One drive's in-memory store: a record for every file and directory, their names, the map
// from file reference number to record, the journal reader's state and a property cache.
//
// Records are never removed or moved: a deleted entry, or one whose name or directory
// changes, is marked deleted and an entry with a new name gets a new record. A record index
// therefore keeps meaning the same record for as long as the index lives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "base/shared_mutex.h"
#include "index/child_map.h"
#include "index/extension_codes.h"
#include "index/file_record.h"
#include "index/name_pool.h"
#include "index/record_deque.h"
#include "index/record_map.h"
#include "platform/volume_device.h"

namespace qm {

// FILETIME values: 100 ns units since 1601-01-01 UTC.
struct PropertyInfo {
  int64_t size = 0;
  uint64_t lastWriteTime = 0;
  uint64_t creationTime = 0;
  bool valid = false;  // also true for an entry whose file query failed (all zero)
};

struct VolumeIndex {
  explicit VolumeIndex(VolumeDevice& volumeDevice) : device(&volumeDevice) {}
  VolumeIndex(const VolumeIndex&) = delete;
  VolumeIndex& operator=(const VolumeIndex&) = delete;
  ~VolumeIndex();

  std::u16string drive;           // e.g. C:
  RecordDeque records;            // Under lock. Append-only; records never move.
  NamePool names;                 // Under lock.
  RecordMap indexByFrn{records};  // Under lock. frn -> index of its newest record.
  ChildMap children;              // Under lock. (parent frn, folded name) -> records.
  ExtensionCodes extensions;      // Under lock. Numbers the extensions records carry.
  uint64_t rootFrn = 0;           // Under lock. The root folder (its own parent), when hasRoot.
  bool hasRoot = false;
  // Under lock. Each record's name lies behind the previous record's name in the pool, as
  // when every name is stored just before its record is appended: the name pass then reads
  // the pool as one stream of names and finds records only for its hits.
  bool namesInRecordOrder = true;
  mutable SharedMutex lock;  // Exclusive only in the journal monitor, per batch.

  VolumeDevice* device;  // how this drive's volume is reached
  VolumeHandle volumeHandle = kInvalidVolumeHandle;
  uint64_t journalId = 0;
  int64_t nextUsn = 0;  // Under lock once the monitor runs.
  std::atomic<bool> monitoring{false};
  std::thread monitorThread;                       // Touched only by the build and by StopMonitor.
  std::atomic<ThreadToken> monitorThreadToken{0};  // set by the monitor for CancelThreadIo

  std::unordered_map<uint64_t, PropertyInfo> properties;  // Under propertiesLock.
  mutable SharedMutex propertiesLock;                     // Taken after lock, never before.
};

// Owning pointer whose deleter is ReleaseVolumeIndex.
struct VolumeIndexDeleter {
  void operator()(VolumeIndex* index) const;
};
using VolumeIndexPtr = std::unique_ptr<VolumeIndex, VolumeIndexDeleter>;

// Appends a complete record (deleted 0); returns its record index. Caller holds `lock`
// exclusively or is the only thread that can reach the index.
uint64_t AppendRecord(VolumeIndex& index, uint64_t frn, uint64_t parentFrn, uint32_t name,
                      uint16_t nameLength, bool isDirectory);

// The record's name as the file system gave it (NUL-terminated behind the view). Caller holds
// `lock` shared; the text stays where it is after the lock is released.
inline std::u16string_view RecordName(const VolumeIndex& index, const FileRecord& record) {
  return {index.names.At(record.name), record.nameLength};
}

// The program itself deleted the entry's file (or moved it to the Recycle Bin): the record is
// marked deleted at once, so that the search that follows no longer lists it; the journal's
// report of the change comes later and finds it deleted already. Takes `lock` exclusively.
void MarkRecordDeleted(VolumeIndex& index, uint64_t recordIndex);

// Empties records, names and indexByFrn, then the property cache under propertiesLock.
void ResetVolumeIndex(VolumeIndex& index);

// Records, deleted ones included. Caller holds `lock` (shared is enough).
inline uint64_t RecordCount(const VolumeIndex& index) {
  return index.records.size();
}

bool LookupProperties(const VolumeIndex& index, uint64_t frn, PropertyInfo* out);
void StoreProperties(VolumeIndex& index, uint64_t frn, const PropertyInfo& entry);
void ForgetProperties(VolumeIndex& index, uint64_t frn);

// Closes the volume (stopping and joining the journal monitor) and frees the index.
// Does nothing for nullptr.
void ReleaseVolumeIndex(VolumeIndex* index);

}  // namespace qm
