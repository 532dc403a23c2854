// A stand-in for one NTFS volume and its change journal, answering the volume controls the
// way Windows does: enumeration of the master file table, journal query, create, delete and
// read. Used where raw volume access is missing (tests, benchmarks, the demo, and the Windows
// program under an emulator). Thread-safe: every call takes the volume's own mutex.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/volume_device.h"
#include "standin/stand_in_journal.h"

namespace qm {

struct VolumeContent;

// One file or directory as the enumeration reports it.
struct FakeEntry {
  uint64_t frn = 0;
  uint64_t parentFrn = 0;
  uint32_t attributes = 0;
  int64_t usn = 0;
  std::u16string name;
};

// One journal entry recorded after the enumeration.
struct FakeChange {
  int64_t usn = 0;
  uint32_t reason = 0;
  uint64_t frn = 0;
  uint64_t parentFrn = 0;
  uint32_t attributes = 0;
  std::u16string name;
};

// One call made through the seam, for tests that assert the exact sequence of calls.
struct FakeCall {
  enum class Kind { kOpen, kControl, kCancelIo, kCancelThreadIo, kClose };
  Kind kind = Kind::kControl;
  uint32_t code = 0;        // control code (kControl), access mask (kOpen)
  std::vector<uint8_t> in;  // the input bytes (kControl)
  uint32_t outSize = 0;     // output buffer size (kControl)
  Win32Error result = 0;
  uint32_t returned = 0;
  std::u16string path;  // kOpen
};

class FakeVolume : public VolumeDevice, private StandInJournal::Volume {
 public:
  // `drive` such as C:; Open accepts only \\.\ followed by it.
  explicit FakeVolume(std::u16string drive = u"C:");

  // --- Volume content ---
  // An active journal with this identity; firstUsn is the oldest USN it still holds.
  void SetJournal(uint64_t journalId, int64_t firstUsn, int64_t nextUsn);
  // No journal at all: queries and reads fail with ERROR_JOURNAL_NOT_ACTIVE until created.
  void RemoveJournal();
  // Enumeration order is by frn, whatever the call order. Names may pass NTFS's 255 units, for
  // tests of what the program does with them, but a name whose record would not fit a 64 KiB
  // read (kMaxStandInNameUnits) is refused: false, and nothing added.
  bool AddEntry(FakeEntry entry);
  // Appended to the journal; nextUsn moves past its record. False, and nothing recorded, for a
  // name longer than kMaxStandInNameUnits or a USN outside 0 to 2^63-1 less the record's size.
  bool AddChange(FakeChange change);
  size_t EntryCount() const;

  // Journal state as a query would report it (for assertions).
  bool JournalActive() const;
  uint64_t JournalId() const;
  int64_t NextUsn() const;

  // --- Injected failures and observation ---
  // The n-th call (1-based, counted per control code) of `code` fails with `error`.
  void FailControl(uint32_t code, int nth, Win32Error error);
  // Every Open with this access mask fails with `error`.
  void FailOpen(uint32_t access, Win32Error error);
  // The next Close fails with `error` (the handle is closed all the same).
  void FailClose(Win32Error error);
  // Called (without the volume's mutex) before every control call, with the code and its
  // 1-based count for that code: lets tests act in the middle of a build.
  void OnControl(std::function<void(uint32_t code, int nth)> hook);
  // When true, Pause really sleeps; by default it is recorded and takes 1 ms, so that a
  // polling loop (the journal monitor) neither waits long nor spins.
  void SetRealPauses(bool real);

  std::vector<FakeCall> Calls() const;
  std::vector<std::string> DebugLines() const;
  std::vector<std::chrono::milliseconds> Pauses() const;
  int OpenHandles() const;

  // --- VolumeDevice ---
  Win32Error Open(std::u16string_view devicePath, uint32_t access, VolumeHandle* handle) override;
  Win32Error Control(VolumeHandle handle, uint32_t code, const uint8_t* in, uint32_t inSize,
                     uint8_t* out, uint32_t outSize, uint32_t* returned) override;
  void CancelIo(VolumeHandle handle) override;
  void CancelThreadIo(ThreadToken thread) override;
  ThreadToken CurrentThread() override;
  Win32Error Close(VolumeHandle handle) override;
  void DebugOutput(const char* line) override;
  void Pause(std::chrono::milliseconds duration) override;

 private:
  // Loads millions of entries at once, without an allocation per entry.
  friend void FillFakeVolume(const VolumeContent& content, FakeVolume& volume);
  friend void FillFakeVolume(VolumeContent&& content, FakeVolume& volume);

  // An entry as stored: its name lives in `entryNames_`, so millions of entries cost no
  // allocation each.
  struct StoredEntry {
    uint64_t frn;
    uint64_t parentFrn;
    int64_t usn;
    uint64_t nameOffset;  // into entryNames_
    uint32_t attributes;
    uint32_t nameLength;  // units
  };

  // --- StandInJournal::Volume (mutex held) ---
  uint64_t NewJournalId() override;
  Win32Error Enumerate(const MftEnumData& request, EnumerationPage& page) override;

  void SortEntries();
  void Record(FakeCall call);
  // Records one journal entry (mutex held); nothing without an active journal.
  bool AppendChange(const FakeChange& change);
  void CommitPendingChanges();

  const std::u16string drive_;
  mutable std::mutex mutex_;  // guards every member below

  std::vector<StoredEntry> entries_;
  std::u16string entryNames_;
  bool entriesSorted_ = true;  // entries_ in ascending frn order (stable for equal frns)
  // Journal entries recorded after the enumeration (volume images, synthetic volumes): they
  // join the journal when an enumeration first reaches its end, so a build's query still
  // sees the journal as it was before them and its monitor then reads them.
  std::vector<FakeChange> pendingChanges_;
  StandInJournal journal_{*this, StandInJournal::Retention::kEverything};
  std::vector<uint64_t> usedJournalIds_;
  uint64_t journalIdCounter_ = 0;

  std::vector<VolumeHandle> openHandles_;
  VolumeHandle nextHandle_ = 0x100;
  std::vector<std::pair<uint32_t, Win32Error>> openFailures_;  // access mask, error
  struct ControlFailure {
    uint32_t code;
    int nth;
    Win32Error error;
  };
  std::vector<ControlFailure> controlFailures_;
  std::vector<std::pair<uint32_t, int>> controlCounts_;  // code, calls so far
  Win32Error closeFailure_ = kErrorSuccess;
  std::function<void(uint32_t, int)> onControl_;
  bool realPauses_ = false;

  // The call and pause logs stop growing at kLogLimit items, so that a journal monitor
  // polling without real pauses cannot exhaust memory; tests stay far below the limit.
  static constexpr size_t kLogLimit = size_t(1) << 20;
  std::vector<FakeCall> calls_;
  std::vector<std::string> debugLines_;
  std::vector<std::chrono::milliseconds> pauses_;
};

}  // namespace qm
