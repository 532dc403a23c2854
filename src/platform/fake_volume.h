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
#include <vector>

#include "platform/volume_device.h"

namespace qm {

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
  std::u16string path;      // kOpen
};

class FakeVolume : public VolumeDevice {
 public:
  // `drive` such as C:; Open accepts only \\.\ followed by it.
  explicit FakeVolume(std::u16string drive = u"C:");

  // --- Volume content ---
  // An active journal with this identity; firstUsn is the oldest USN it still holds.
  void SetJournal(uint64_t journalId, int64_t firstUsn, int64_t nextUsn);
  // No journal at all: queries and reads fail with ERROR_JOURNAL_NOT_ACTIVE until created.
  void RemoveJournal();
  void AddEntry(FakeEntry entry);     // enumeration order is by frn, whatever the call order
  void AddChange(FakeChange change);  // appended to the journal; nextUsn moves past its usn
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
  // When true, Pause really sleeps; by default it is only recorded.
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
  // implementation details are the implementer's
};

}  // namespace qm
