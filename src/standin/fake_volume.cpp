// The stand-in volume answers each control as Windows documents it; the journal and its
// controls are a StandInJournal's (stand_in_journal.h). Where Windows leaves a detail open, the
// volume itself makes one fixed choice:
// - A new FakeVolume has an active, empty journal (firstUsn = nextUsn = 0); RemoveJournal
//   takes it away. SetJournal keeps the journal entries already recorded; RemoveJournal,
//   FSCTL_DELETE_USN_JOURNAL and the creation of a new journal drop them. AddChange while no
//   journal is active records nothing, as a volume without a journal records nothing.
// - The journal keeps every entry, whatever its maximum size.
// - Journal entries change nothing in the enumeration: the entries stay as added.
// - Journal entries that a volume image or a synthetic volume records after the enumeration
//   (FillFakeVolume) wait until an enumeration first answers ERROR_HANDLE_EOF, and only then
//   join the journal: a build's query reports the journal as the enumeration saw it, and the
//   journal monitor that follows reads them.
// - An injected failure comes before every check; the handle is checked before the journal's.
// - Cancelling never finds pending I/O (every call is served at once): ERROR_NOT_FOUND.
#include "standin/fake_volume.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/journal_layout.h"

namespace qm {

namespace {

constexpr size_t kMaxLoggedInput = 256;

}  // namespace

FakeVolume::FakeVolume(std::u16string drive) : drive_(std::move(drive)) {
  journal_.Set(NewJournalId(), 0, 0);
}

// --- Volume content ---

void FakeVolume::SetJournal(uint64_t journalId, int64_t firstUsn, int64_t nextUsn) {
  std::lock_guard guard(mutex_);
  journal_.Set(journalId, firstUsn, nextUsn);
  usedJournalIds_.push_back(journalId);
}

void FakeVolume::RemoveJournal() {
  std::lock_guard guard(mutex_);
  journal_.Remove();
}

bool FakeVolume::AddEntry(FakeEntry entry) {
  if (entry.name.size() > kMaxStandInNameUnits) return false;
  std::lock_guard guard(mutex_);
  if (!entries_.empty() && entry.frn < entries_.back().frn) entriesSorted_ = false;
  entries_.push_back(StoredEntry{entry.frn, entry.parentFrn, entry.usn, entryNames_.size(),
                                 entry.attributes, uint32_t(entry.name.size())});
  entryNames_ += entry.name;
  return true;
}

bool FakeVolume::AddChange(FakeChange change) {
  std::lock_guard guard(mutex_);
  return AppendChange(change);
}

bool FakeVolume::AppendChange(const FakeChange& change) {
  return journal_.Record(UsnRecordFields{.frn = change.frn,
                                         .parentFrn = change.parentFrn,
                                         .usn = change.usn,
                                         .reason = change.reason,
                                         .attributes = change.attributes},
                         change.name);
}

void FakeVolume::CommitPendingChanges() {
  if (pendingChanges_.empty()) return;
  // Without a journal at that moment the changes are not recorded, as on a volume.
  for (const FakeChange& change : pendingChanges_) AppendChange(change);
  pendingChanges_.clear();
  pendingChanges_.shrink_to_fit();
}

size_t FakeVolume::EntryCount() const {
  std::lock_guard guard(mutex_);
  return entries_.size();
}

bool FakeVolume::JournalActive() const {
  std::lock_guard guard(mutex_);
  return journal_.Active();
}

uint64_t FakeVolume::JournalId() const {
  std::lock_guard guard(mutex_);
  return journal_.Id();
}

int64_t FakeVolume::NextUsn() const {
  std::lock_guard guard(mutex_);
  return journal_.NextUsn();
}

// --- Injected failures and observation ---

void FakeVolume::FailControl(uint32_t code, int nth, Win32Error error) {
  std::lock_guard guard(mutex_);
  controlFailures_.push_back(ControlFailure{code, nth, error});
}

void FakeVolume::FailOpen(uint32_t access, Win32Error error) {
  std::lock_guard guard(mutex_);
  openFailures_.emplace_back(access, error);
}

void FakeVolume::FailClose(Win32Error error) {
  std::lock_guard guard(mutex_);
  closeFailure_ = error;
}

void FakeVolume::OnControl(std::function<void(uint32_t code, int nth)> hook) {
  std::lock_guard guard(mutex_);
  onControl_ = std::move(hook);
}

void FakeVolume::SetRealPauses(bool real) {
  std::lock_guard guard(mutex_);
  realPauses_ = real;
}

std::vector<FakeCall> FakeVolume::Calls() const {
  std::lock_guard guard(mutex_);
  return calls_;
}

std::vector<std::string> FakeVolume::DebugLines() const {
  std::lock_guard guard(mutex_);
  return debugLines_;
}

std::vector<std::chrono::milliseconds> FakeVolume::Pauses() const {
  std::lock_guard guard(mutex_);
  return pauses_;
}

int FakeVolume::OpenHandles() const {
  std::lock_guard guard(mutex_);
  return int(openHandles_.size());
}

// --- VolumeDevice ---

Win32Error FakeVolume::Open(std::u16string_view devicePath, uint32_t access, VolumeHandle* handle) {
  std::lock_guard guard(mutex_);
  Win32Error result = kErrorSuccess;
  if (!IsDevicePathOf(devicePath, drive_)) {
    result = kErrorFileNotFound;
  } else {
    for (const auto& [mask, error] : openFailures_) {
      if (mask == access) {
        result = error;
        break;
      }
    }
  }
  if (result == kErrorSuccess) {
    *handle = nextHandle_;
    nextHandle_ += 4;
    openHandles_.push_back(*handle);
  } else {
    *handle = kInvalidVolumeHandle;
  }
  FakeCall call;
  call.kind = FakeCall::Kind::kOpen;
  call.code = access;
  call.result = result;
  call.path = std::u16string(devicePath);
  Record(std::move(call));
  return result;
}

Win32Error FakeVolume::Control(VolumeHandle handle, uint32_t code, const uint8_t* in,
                               uint32_t inSize, uint8_t* out, uint32_t outSize,
                               uint32_t* returned) {
  int nth = 0;
  std::function<void(uint32_t, int)> hook;
  {
    std::lock_guard guard(mutex_);
    auto count = std::find_if(controlCounts_.begin(), controlCounts_.end(),
                              [code](const auto& c) { return c.first == code; });
    if (count == controlCounts_.end()) {
      controlCounts_.emplace_back(code, 0);
      count = controlCounts_.end() - 1;
    }
    nth = ++count->second;
    hook = onControl_;
  }
  if (hook) hook(code, nth);

  std::lock_guard guard(mutex_);
  uint32_t bytes = 0;
  Win32Error result = kErrorSuccess;
  auto failure =
      std::find_if(controlFailures_.begin(), controlFailures_.end(),
                   [&](const ControlFailure& f) { return f.code == code && f.nth == nth; });
  if (failure != controlFailures_.end()) {
    result = failure->error;
  } else if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end()) {
    result = kErrorInvalidHandle;
  } else {
    result = journal_.Serve(code, in, inSize, out, outSize, &bytes);
  }
  if (returned) *returned = bytes;

  FakeCall call;
  call.kind = FakeCall::Kind::kControl;
  call.code = code;
  if (in && inSize) call.in.assign(in, in + std::min<size_t>(inSize, kMaxLoggedInput));
  call.outSize = outSize;
  call.result = result;
  call.returned = bytes;
  Record(std::move(call));
  return result;
}

void FakeVolume::CancelIo(VolumeHandle handle) {
  std::lock_guard guard(mutex_);
  const bool open =
      std::find(openHandles_.begin(), openHandles_.end(), handle) != openHandles_.end();
  FakeCall call;
  call.kind = FakeCall::Kind::kCancelIo;
  call.result = open ? kErrorNotFound : kErrorInvalidHandle;
  Record(std::move(call));
}

void FakeVolume::CancelThreadIo(ThreadToken /*thread*/) {
  std::lock_guard guard(mutex_);
  FakeCall call;
  call.kind = FakeCall::Kind::kCancelThreadIo;
  call.result = kErrorNotFound;
  Record(std::move(call));
}

ThreadToken FakeVolume::CurrentThread() {
  return StandInThreadToken();
}

Win32Error FakeVolume::Close(VolumeHandle handle) {
  std::lock_guard guard(mutex_);
  auto open = std::find(openHandles_.begin(), openHandles_.end(), handle);
  Win32Error result = kErrorSuccess;
  if (open != openHandles_.end()) {
    openHandles_.erase(open);
  } else {
    result = kErrorInvalidHandle;
  }
  if (closeFailure_ != kErrorSuccess) {
    result = closeFailure_;
    closeFailure_ = kErrorSuccess;
  }
  FakeCall call;
  call.kind = FakeCall::Kind::kClose;
  call.result = result;
  Record(std::move(call));
  return result;
}

void FakeVolume::DebugOutput(const char* line) {
  std::lock_guard guard(mutex_);
  if (debugLines_.size() < kLogLimit) debugLines_.emplace_back(line ? line : "");
}

void FakeVolume::Pause(std::chrono::milliseconds duration) {
  bool real = false;
  {
    std::lock_guard guard(mutex_);
    if (pauses_.size() < kLogLimit) pauses_.push_back(duration);
    real = realPauses_;
  }
  VolumeDevice::Pause(real ? duration : std::chrono::milliseconds(1));
}

// --- StandInJournal::Volume and the call log (mutex held) ---

void FakeVolume::Record(FakeCall call) {
  if (calls_.size() < kLogLimit) calls_.push_back(std::move(call));
}

uint64_t FakeVolume::NewJournalId() {
  // Windows takes the creation time as the identity; any value never used before will do.
  for (;;) {
    uint64_t id = 0x01DA3C0000000000ull + (++journalIdCounter_) * 0x9E3779B1ull;
    if (std::find(usedJournalIds_.begin(), usedJournalIds_.end(), id) == usedJournalIds_.end()) {
      usedJournalIds_.push_back(id);
      return id;
    }
  }
}

void FakeVolume::SortEntries() {
  if (entriesSorted_) return;
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const StoredEntry& a, const StoredEntry& b) { return a.frn < b.frn; });
  entriesSorted_ = true;
}

Win32Error FakeVolume::Enumerate(const MftEnumData& request, EnumerationPage& page) {
  SortEntries();
  auto it = std::lower_bound(entries_.begin(), entries_.end(), request.startFileReferenceNumber,
                             [](const StoredEntry& e, uint64_t frn) { return e.frn < frn; });
  for (; it != entries_.end(); ++it) {
    const std::u16string_view name(entryNames_.data() + it->nameOffset, it->nameLength);
    if (!page.Add(it->frn, it->parentFrn, it->usn, it->attributes, name)) break;
  }
  const Win32Error result = page.Finish();
  if (result == kErrorHandleEof) CommitPendingChanges();
  return result;
}

}  // namespace qm
