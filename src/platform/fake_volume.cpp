// The stand-in volume answers each control as Windows documents it. Where Windows leaves a
// detail open, the stand-in makes one fixed choice:
//
// - A new FakeVolume has an active, empty journal (firstUsn = nextUsn = 0); RemoveJournal
//   takes it away. SetJournal keeps the journal entries already recorded; RemoveJournal,
//   FSCTL_DELETE_USN_JOURNAL and the creation of a new journal drop them. AddChange while no
//   journal is active records nothing, as a volume without a journal records nothing.
// - The volume's USN only grows: a journal created after a deletion starts (firstUsn and
//   nextUsn) at the highest USN any journal of the volume has reached, under an identity
//   that no earlier journal of the volume had. AddChange moves nextUsn to the end of the
//   entry's record (its USN plus its record size), as NTFS does.
// - Journal entries change nothing in the enumeration: the entries stay as added.
// - Journal entries that a volume image or a synthetic volume records after the enumeration
//   (FillFakeVolume) wait until an enumeration first answers ERROR_HANDLE_EOF, and only then
//   join the journal: a build's query reports the journal as the enumeration saw it, and the
//   journal monitor that follows reads them.
// - Checks run in this order: handle, input size, journal active, journal identity, output
//   size. An injected failure comes before all of them.
// - FSCTL_DELETE_USN_JOURNAL accepts DeleteFlags 1 (delete), 2 (notify: nothing to wait for,
//   so nothing happens) or 3; any other value is ERROR_INVALID_PARAMETER.
// - FSCTL_READ_USN_JOURNAL with an identity other than the active journal's is
//   ERROR_INVALID_PARAMETER; when the first entry to return does not fit after the 8-byte
//   next USN it fails with ERROR_INSUFFICIENT_BUFFER, returning nothing. ReturnOnlyOnClose
//   keeps only entries with the close bit; Timeout and BytesToWaitFor are ignored (every read
//   returns at once).
// - Cancelling never finds pending I/O (every call is served at once): ERROR_NOT_FOUND.
#include "platform/fake_volume.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/byte_order.h"
#include "platform/journal_layout.h"

namespace qm {

namespace {

constexpr int64_t kMaxUsn = 0x7FFFFFFFFFFFFFFF;
constexpr uint64_t kDefaultMaximumSize = 0x2000000;     // 32 MiB
constexpr uint64_t kDefaultAllocationDelta = 0x800000;  // 8 MiB
constexpr size_t kMaxLoggedInput = 256;

char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

bool SameDevicePath(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::atomic<ThreadToken> threadTokenCounter{0};

}  // namespace

FakeVolume::FakeVolume(std::u16string drive) : drive_(std::move(drive)) {
  journal_.active = true;
  journal_.id = NewJournalId();
  journal_.maximumSize = kDefaultMaximumSize;
  journal_.allocationDelta = kDefaultAllocationDelta;
}

// --- Volume content ---

void FakeVolume::SetJournal(uint64_t journalId, int64_t firstUsn, int64_t nextUsn) {
  std::lock_guard guard(mutex_);
  if (!journal_.active) {
    journal_.maximumSize = kDefaultMaximumSize;
    journal_.allocationDelta = kDefaultAllocationDelta;
  }
  journal_.active = true;
  journal_.id = journalId;
  journal_.firstUsn = firstUsn;
  journal_.nextUsn = nextUsn;
  usedJournalIds_.push_back(journalId);
  runningUsn_ = std::max(runningUsn_, nextUsn);
}

void FakeVolume::RemoveJournal() {
  std::lock_guard guard(mutex_);
  journal_.active = false;
  changes_.clear();
  changeNames_.clear();
}

void FakeVolume::AddEntry(FakeEntry entry) {
  std::lock_guard guard(mutex_);
  if (!entries_.empty() && entry.frn < entries_.back().frn) entriesSorted_ = false;
  entries_.push_back(StoredEntry{entry.frn, entry.parentFrn, entry.usn, entryNames_.size(),
                                 entry.attributes, uint32_t(entry.name.size())});
  entryNames_ += entry.name;
}

void FakeVolume::AddChange(FakeChange change) {
  std::lock_guard guard(mutex_);
  if (journal_.active) AppendChange(change);
}

void FakeVolume::AppendChange(const FakeChange& change) {
  StoredChange stored{change.usn,
                      change.frn,
                      change.parentFrn,
                      changeNames_.size(),
                      change.reason,
                      change.attributes,
                      uint32_t(change.name.size())};
  changeNames_ += change.name;
  auto at = std::upper_bound(changes_.begin(), changes_.end(), change.usn,
                             [](int64_t usn, const StoredChange& c) { return usn < c.usn; });
  changes_.insert(at, stored);
  const int64_t end = change.usn + int64_t(UsnRecordSize(change.name.size()));
  journal_.nextUsn = std::max(journal_.nextUsn, end);
  runningUsn_ = std::max(runningUsn_, journal_.nextUsn);
}

void FakeVolume::CommitPendingChanges() {
  if (pendingChanges_.empty()) return;
  // Without a journal at that moment the changes are not recorded, as on a volume.
  if (journal_.active) {
    for (const FakeChange& change : pendingChanges_) AppendChange(change);
  }
  pendingChanges_.clear();
  pendingChanges_.shrink_to_fit();
}

size_t FakeVolume::EntryCount() const {
  std::lock_guard guard(mutex_);
  return entries_.size();
}

bool FakeVolume::JournalActive() const {
  std::lock_guard guard(mutex_);
  return journal_.active;
}

uint64_t FakeVolume::JournalId() const {
  std::lock_guard guard(mutex_);
  return journal_.id;
}

int64_t FakeVolume::NextUsn() const {
  std::lock_guard guard(mutex_);
  return journal_.nextUsn;
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
  if (!SameDevicePath(devicePath, u"\\\\.\\" + drive_)) {
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
  } else {
    result = ServeControl(handle, code, in, inSize, out, outSize, &bytes);
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
  thread_local const ThreadToken token = ++threadTokenCounter;
  return token;
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

// --- Serving the controls (mutex held) ---

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

Win32Error FakeVolume::ServeControl(VolumeHandle handle, uint32_t code, const uint8_t* in,
                                    uint32_t inSize, uint8_t* out, uint32_t outSize,
                                    uint32_t* returned) {
  *returned = 0;
  if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end()) {
    return kErrorInvalidHandle;
  }
  if (!in) inSize = 0;
  if (!out) outSize = 0;
  switch (code) {
    case kFsctlQueryUsnJournal:
      return QueryJournal(out, outSize, returned);
    case kFsctlCreateUsnJournal:
      return CreateJournal(in, inSize);
    case kFsctlDeleteUsnJournal:
      return DeleteJournal(in, inSize);
    case kFsctlEnumUsnData:
      return EnumData(in, inSize, out, outSize, returned);
    case kFsctlReadUsnJournal:
      return ReadJournal(in, inSize, out, outSize, returned);
    default:
      return kErrorInvalidFunction;
  }
}

Win32Error FakeVolume::QueryJournal(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (!journal_.active) return kErrorJournalNotActive;
  if (outSize < UsnJournalData::kSize) return kErrorInsufficientBuffer;
  UsnJournalData data;
  data.usnJournalId = journal_.id;
  data.firstUsn = journal_.firstUsn;
  data.nextUsn = journal_.nextUsn;
  data.lowestValidUsn = journal_.firstUsn;
  data.maxUsn = kMaxUsn;
  data.maximumSize = journal_.maximumSize;
  data.allocationDelta = journal_.allocationDelta;
  Encode(data, out);
  *returned = UsnJournalData::kSize;
  return kErrorSuccess;
}

Win32Error FakeVolume::CreateJournal(const uint8_t* in, uint32_t inSize) {
  if (inSize < CreateUsnJournalData::kSize) return kErrorInvalidParameter;
  const CreateUsnJournalData request = DecodeCreateUsnJournalData(in);
  if (!journal_.active) {
    journal_.active = true;
    journal_.id = NewJournalId();
    journal_.firstUsn = runningUsn_;
    journal_.nextUsn = runningUsn_;
    changes_.clear();
    changeNames_.clear();
  }
  journal_.maximumSize = request.maximumSize;
  journal_.allocationDelta = request.allocationDelta;
  return kErrorSuccess;
}

Win32Error FakeVolume::DeleteJournal(const uint8_t* in, uint32_t inSize) {
  if (inSize < DeleteUsnJournalData::kSize) return kErrorInvalidParameter;
  if (!journal_.active) return kErrorJournalNotActive;
  const DeleteUsnJournalData request = DecodeDeleteUsnJournalData(in);
  if (request.usnJournalId != journal_.id) return kErrorInvalidParameter;
  if (request.deleteFlags == 0 || (request.deleteFlags & ~3u) != 0) return kErrorInvalidParameter;
  if (request.deleteFlags & kUsnDeleteFlagDelete) {
    journal_.active = false;
    changes_.clear();
    changeNames_.clear();
  }
  return kErrorSuccess;
}

Win32Error FakeVolume::EnumData(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                                uint32_t* returned) {
  if (inSize < MftEnumData::kSize) return kErrorInvalidParameter;
  if (!journal_.active) return kErrorJournalNotActive;
  if (outSize < 8) return kErrorInsufficientBuffer;
  const MftEnumData request = DecodeMftEnumData(in);
  SortEntries();
  auto it = std::lower_bound(entries_.begin(), entries_.end(), request.startFileReferenceNumber,
                             [](const StoredEntry& e, uint64_t frn) { return e.frn < frn; });
  auto inRange = [&](const StoredEntry& e) {
    return e.usn >= request.lowUsn && e.usn <= request.highUsn;
  };
  while (it != entries_.end() && !inRange(*it)) ++it;
  if (it == entries_.end()) {
    CommitPendingChanges();
    return kErrorHandleEof;
  }

  size_t offset = 8;
  uint64_t lastFrn = 0;
  bool any = false;
  for (; it != entries_.end(); ++it) {
    if (!inRange(*it)) continue;
    UsnRecordFields fields;
    fields.frn = it->frn;
    fields.parentFrn = it->parentFrn;
    fields.usn = it->usn;
    fields.attributes = it->attributes;
    const std::u16string_view name(entryNames_.data() + it->nameOffset, it->nameLength);
    const size_t written = WriteUsnRecord(fields, name, out + offset, outSize - offset);
    if (written == 0) break;
    offset += written;
    lastFrn = it->frn;
    any = true;
  }
  if (!any) return kErrorMoreData;
  StoreLe64(out, lastFrn + 1);
  *returned = uint32_t(offset);
  return kErrorSuccess;
}

Win32Error FakeVolume::ReadJournal(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                   uint32_t outSize, uint32_t* returned) {
  if (inSize < ReadUsnJournalData::kSize) return kErrorInvalidParameter;
  if (!journal_.active) return kErrorJournalNotActive;
  const ReadUsnJournalData request = DecodeReadUsnJournalData(in);
  if (request.usnJournalId != journal_.id) return kErrorInvalidParameter;
  if (outSize < 8) return kErrorInsufficientBuffer;
  int64_t start = request.startUsn;
  if (start == 0) {
    start = journal_.firstUsn;
  } else if (start < journal_.firstUsn) {
    return kErrorJournalEntryDeleted;
  }
  auto it = std::lower_bound(changes_.begin(), changes_.end(), start,
                             [](const StoredChange& c, int64_t usn) { return c.usn < usn; });
  auto wanted = [&](const StoredChange& c) {
    if ((c.reason & request.reasonMask) == 0) return false;
    return request.returnOnlyOnClose == 0 || (c.reason & kUsnReasonClose) != 0;
  };
  size_t offset = 8;
  int64_t next = journal_.nextUsn;
  for (; it != changes_.end(); ++it) {
    if (!wanted(*it)) continue;
    UsnRecordFields fields;
    fields.frn = it->frn;
    fields.parentFrn = it->parentFrn;
    fields.usn = it->usn;
    fields.reason = it->reason;
    fields.attributes = it->attributes;
    const std::u16string_view name(changeNames_.data() + it->nameOffset, it->nameLength);
    const size_t written = WriteUsnRecord(fields, name, out + offset, outSize - offset);
    if (written == 0) {
      if (offset == 8) return kErrorInsufficientBuffer;
      next = it->usn;
      break;
    }
    offset += written;
  }
  StoreLe64(out, uint64_t(next));
  *returned = uint32_t(offset);
  return kErrorSuccess;
}

}  // namespace qm
