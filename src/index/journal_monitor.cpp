#include "index/journal_monitor.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "base/shutting_down.h"
#include "index/volume_build.h"
#include "platform/byte_order.h"
#include "platform/journal_layout.h"

namespace qm {

namespace {

constexpr uint32_t kDeletionGroup = kUsnReasonFileDelete | kUsnReasonRenameOldName;
constexpr uint32_t kCreationGroup = kUsnReasonFileCreate | kUsnReasonRenameNewName;

bool EndsMonitor(Win32Error error) {
  switch (error) {
    case kErrorOperationAborted:
    case kErrorDeviceNotConnected:
    case kErrorJournalNotActive:
    case kErrorJournalEntryDeleted:
    case kErrorAccessDenied:
    case kErrorInvalidHandle:
      return true;
    default:
      return false;
  }
}

bool SameName(const VolumeIndex& index, const FileRecord& record, const UsnRecordView& entry) {
  if (record.nameLength != entry.nameUnits) return false;
  const char16_t* name = index.names.At(record.name);
  for (size_t i = 0; i < entry.nameUnits; ++i) {
    char16_t c = char16_t(LoadLe16(entry.name + 2 * i));
    if (name[i] != c) return false;
    if (c == 0) break;
  }
  return true;
}

void ApplyEntry(VolumeIndex& index, const UsnRecordView& entry) {
  const uint64_t f = entry.frn;
  if (entry.reason & kDeletionGroup) {
    if (const uint32_t* i = index.indexByFrn.Find(f)) index.records[*i].deleted = 1;
    ForgetProperties(index, f);
  }
  // A file deleted before it was closed carries its creation bit too; it no longer exists,
  // so no live record is made for it.
  if ((entry.reason & kCreationGroup) && !(entry.reason & kUsnReasonFileDelete)) {
    bool makeRecord = true;
    if (const uint32_t* i = index.indexByFrn.Find(f)) {
      FileRecord& current = index.records[*i];
      if (!current.deleted) {
        if (SameName(index, current, entry)) {
          makeRecord = false;
        } else {
          current.deleted = 1;
        }
      }
    }
    if (makeRecord) {
      const uint32_t name = AddNameFromLeBytes(index.names, entry.name, entry.nameUnits);
      const uint64_t added = AppendRecord(index, f, entry.parentFrn, name, entry.nameUnits,
                                          (entry.attributes & kFileAttributeDirectory) != 0);
      index.indexByFrn.Set(f, uint32_t(added));
      index.children.Add(index.records, index.names, uint32_t(added));
    }
    ForgetProperties(index, f);
  }
}

}  // namespace

void ApplyJournalBatch(VolumeIndex& index, const uint8_t* buffer, size_t size) {
  size_t offset = 8;
  UsnRecordView entry;
  while (offset < size) {
    if (ShuttingDown()) return;
    if (!ReadUsnRecord(buffer, size, offset, &entry)) return;
    ApplyEntry(index, entry);
    offset += entry.recordLength;
  }
}

void MonitorJournal(VolumeIndex* indexPointer) {
  VolumeIndex& index = *indexPointer;
  VolumeDevice& device = *index.device;
  index.monitorThreadToken = device.CurrentThread();
  auto buffer = std::make_unique<uint8_t[]>(kEnumBufferSize);
  if (index.monitoring.load()) {
    do {
      if (ShuttingDown()) break;
      ReadUsnJournalData request;
      {
        std::shared_lock guard(index.lock);
        request.startUsn = index.nextUsn;
      }
      request.reasonMask = kMonitorReasonMask;
      request.usnJournalId = index.journalId;
      uint8_t in[ReadUsnJournalData::kSize];
      Encode(request, in);
      uint32_t returned = 0;
      Win32Error error = device.Control(index.volumeHandle, kFsctlReadUsnJournal, in, sizeof in,
                                        buffer.get(), kEnumBufferSize, &returned);
      if (error != kErrorSuccess) {
        if (EndsMonitor(error)) break;
        device.Pause(std::chrono::seconds(1));
        continue;
      }
      returned = std::min(returned, kEnumBufferSize);
      if (returned > 8) {
        std::unique_lock guard(index.lock);
        ApplyJournalBatch(index, buffer.get(), returned);
        index.nextUsn = int64_t(LoadLe64(buffer.get()));
      }
      device.Pause(std::chrono::milliseconds(300));
    } while (index.monitoring.load());
  }
  index.monitoring.exchange(false);
}

void StopMonitor(VolumeIndex& index) {
  index.monitoring.exchange(false);
  if (!index.monitorThread.joinable()) return;
  if (ThreadToken token = index.monitorThreadToken.load()) index.device->CancelThreadIo(token);
  if (index.volumeHandle != kInvalidVolumeHandle) index.device->CancelIo(index.volumeHandle);
  index.monitorThread.join();
  index.monitorThreadToken = 0;
}

}  // namespace qm
