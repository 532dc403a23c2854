#include "index/volume_build.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <queue>
#include <string>

#include "base/shutting_down.h"
#include "index/journal_monitor.h"
#include "platform/byte_order.h"
#include "platform/journal_layout.h"

namespace qm {

namespace {

// Shared by the producer and the consumer of one build.
struct HandOver {
  std::queue<std::unique_ptr<EnumBuffer>> queue;  // Under mutex.
  std::mutex mutex;
  std::condition_variable wake;
  std::atomic<bool> done{false};  // set under mutex when the producer has issued its last read
  VolumeIndex* target = nullptr;
};

Win32Error QueryJournal(VolumeIndex& index, UsnJournalData* out) {
  uint8_t bytes[UsnJournalData::kSize] = {};
  uint32_t returned = 0;
  Win32Error error = index.device->Control(index.volumeHandle, kFsctlQueryUsnJournal, nullptr, 0,
                                           bytes, sizeof bytes, &returned);
  if (error == kErrorSuccess) *out = DecodeUsnJournalData(bytes);
  return error;
}

void CreateJournal(VolumeIndex& index) {
  uint8_t in[CreateUsnJournalData::kSize];
  Encode(CreateUsnJournalData{kJournalMaximumSize, kJournalAllocationDelta}, in);
  uint32_t returned = 0;
  // Its result does not matter: the query that follows tells whether a journal exists.
  index.device->Control(index.volumeHandle, kFsctlCreateUsnJournal, in, sizeof in, nullptr, 0,
                        &returned);
}

void DeleteJournal(VolumeIndex& index) {
  uint8_t in[DeleteUsnJournalData::kSize];
  Encode(DeleteUsnJournalData{index.journalId, kUsnDeleteFlagDelete}, in);
  uint32_t returned = 0;
  index.device->Control(index.volumeHandle, kFsctlDeleteUsnJournal, in, sizeof in, nullptr, 0,
                        &returned);
}

// One enumeration read into a new buffer. Returns nullptr when the enumeration ends: a failing
// read (normally ERROR_HANDLE_EOF), or one that returned nothing. A read too short to hold the
// next start reference ends it too, since going on would restart from a made-up reference.
// Otherwise advances the start reference.
std::unique_ptr<EnumBuffer> ReadEnumBuffer(VolumeIndex& index, MftEnumData& enumData) {
  auto buffer = std::make_unique<EnumBuffer>();
  uint8_t in[MftEnumData::kSize];
  Encode(enumData, in);
  uint32_t returned = 0;
  Win32Error error = index.device->Control(index.volumeHandle, kFsctlEnumUsnData, in, sizeof in,
                                           buffer->bytes, kEnumBufferSize, &returned);
  if (error != kErrorSuccess || returned < 8) return nullptr;
  buffer->returned = std::min(returned, kEnumBufferSize);
  enumData.startFileReferenceNumber = LoadLe64(buffer->bytes);
  return buffer;
}

void ConsumeBuffers(HandOver& handOver) {
  if (ShuttingDown()) return;
  for (;;) {
    std::unique_ptr<EnumBuffer> buffer;
    {
      std::unique_lock guard(handOver.mutex);
      handOver.wake.wait(
          guard, [&] { return !handOver.queue.empty() || handOver.done.load() || ShuttingDown(); });
      if (ShuttingDown() || handOver.queue.empty()) return;
      buffer = std::move(handOver.queue.front());
      handOver.queue.pop();
    }
    ParseEnumBuffer(*buffer, *handOver.target);
    buffer.reset();
    if (ShuttingDown()) return;
  }
}

// Asks the device to drop its journal and make a new one after a failing probe.
bool RebuildJournal(VolumeIndex& index, MftEnumData& enumData) {
  DeleteJournal(index);
  CreateJournal(index);
  UsnJournalData journal;
  if (QueryJournal(index, &journal) != kErrorSuccess) return false;
  index.journalId = journal.usnJournalId;
  index.nextUsn = journal.nextUsn;
  enumData.highUsn = journal.nextUsn;
  return true;
}

}  // namespace

void ParseEnumBuffer(const EnumBuffer& buffer, VolumeIndex& target) {
  const size_t size = std::min(buffer.returned, kEnumBufferSize);
  size_t offset = 8;
  UsnRecordView record;
  while (offset < size) {
    if (ShuttingDown()) return;
    if (!ReadUsnRecord(buffer.bytes, size, offset, &record)) return;
    const uint32_t name = AddNameFromLeBytes(target.names, record.name, record.nameUnits);
    AppendRecord(target, record.frn, record.parentFrn, name, record.nameUnits,
                 (record.attributes & kFileAttributeDirectory) != 0);
    offset += record.recordLength;
  }
}

bool BuildVolumeIndex(VolumeIndex& index, std::u16string_view drive) {
  if (index.drive != drive) index.drive = std::u16string(drive);
  const std::u16string devicePath = u"\\\\.\\" + index.drive;
  CloseVolume(index);

  VolumeDevice& device = *index.device;
  if (device.Open(devicePath, kGenericRead | kGenericWrite, &index.volumeHandle) != kErrorSuccess &&
      device.Open(devicePath, kGenericRead, &index.volumeHandle) != kErrorSuccess) {
    index.volumeHandle = kInvalidVolumeHandle;
    return false;
  }

  UsnJournalData journal;
  if (QueryJournal(index, &journal) != kErrorSuccess) {
    CreateJournal(index);
    if (QueryJournal(index, &journal) != kErrorSuccess) return false;
  }
  index.journalId = journal.usnJournalId;
  index.nextUsn = journal.nextUsn;
  MftEnumData enumData{0, 0, index.nextUsn};

  // A journal that cannot be enumerated is rebuilt once; EOF and MORE_DATA are healthy answers.
  {
    uint8_t in[MftEnumData::kSize];
    Encode(enumData, in);
    uint8_t probe[kEnumProbeSize] = {};
    uint32_t returned = 0;
    Win32Error error = device.Control(index.volumeHandle, kFsctlEnumUsnData, in, sizeof in, probe,
                                      sizeof probe, &returned);
    if (error != kErrorSuccess && error != kErrorHandleEof && error != kErrorMoreData &&
        !RebuildJournal(index, enumData)) {
      return false;
    }
  }

  ResetVolumeIndex(index);

  HandOver handOver;
  handOver.target = &index;
  std::thread consumer(ConsumeBuffers, std::ref(handOver));

  if (!ShuttingDown()) {
    // The producer never waits for the consumer: the queue has no bound.
    while (auto buffer = ReadEnumBuffer(index, enumData)) {
      if (buffer->returned > 8) {
        std::lock_guard guard(handOver.mutex);
        handOver.queue.push(std::move(buffer));
        handOver.wake.notify_one();
      }
      if (ShuttingDown()) break;
    }
  }
  {
    std::lock_guard guard(handOver.mutex);
    handOver.done = true;
  }
  handOver.wake.notify_one();
  consumer.join();

  // Some volumes enumerate nothing below the journal's NextUsn; try once with every USN.
  if (RecordCount(index) == 0 && enumData.highUsn != kHighestUsn && !ShuttingDown()) {
    enumData = MftEnumData{0, 0, kHighestUsn};
    while (!ShuttingDown()) {
      auto buffer = ReadEnumBuffer(index, enumData);
      if (!buffer) break;
      if (buffer->returned > 8) ParseEnumBuffer(*buffer, index);
    }
  }

  if (!ShuttingDown()) {
    const uint64_t count = RecordCount(index);
    index.indexByFrn.Reserve(count);
    for (uint64_t i = 0; i < count; ++i) index.indexByFrn.Set(index.records[i].frn, uint32_t(i));
    // One after the other: filled side by side on two threads, the two tables' scattered
    // writes slowed each other down more than they gained (measured on a 5M-entry drive).
    index.children.AddAll(index.records, index.names);
    if (!index.monitoring.exchange(true)) {
      index.monitorThread = std::thread(MonitorJournal, &index);
    }
  }
  return true;
}

void CloseVolume(VolumeIndex& index) {
  StopMonitor(index);
  if (index.volumeHandle != kInvalidVolumeHandle) {
    Win32Error error = index.device->Close(index.volumeHandle);
    if (error != kErrorSuccess) {
      std::string drive;
      for (char16_t c : index.drive) drive += c < 0x80 ? char(c) : '?';
      char line[256];
      std::snprintf(line, sizeof line,
                    "[Quillmarsh] CloseHandle failed, Error: %lu (0x%08X), Drive: %s\n",
                    static_cast<unsigned long>(error), static_cast<unsigned>(error), drive.c_str());
      index.device->DebugOutput(line);
    }
    index.volumeHandle = kInvalidVolumeHandle;
  }
  index.device->Pause(std::chrono::milliseconds(300));
}

}  // namespace qm
