#include "standin/stand_in_journal.h"

#include <algorithm>
#include <atomic>

#include "index/name_pool.h"
#include "platform/byte_order.h"

namespace qm {

bool IsDevicePathOf(std::u16string_view devicePath, std::u16string_view drive) {
  constexpr std::u16string_view kPrefix = u"\\\\.\\";
  if (devicePath.size() != kPrefix.size() + drive.size()) return false;
  if (devicePath.substr(0, kPrefix.size()) != kPrefix) return false;
  const std::u16string_view rest = devicePath.substr(kPrefix.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    if (FoldUnit(rest[i]) != FoldUnit(drive[i])) return false;
  }
  return true;
}

ThreadToken StandInThreadToken() {
  static std::atomic<ThreadToken> counter{0};
  thread_local const ThreadToken token = ++counter;
  return token;
}

constexpr int64_t kMaxUsn = 0x7FFFFFFFFFFFFFFF;
constexpr uint64_t kDefaultMaximumSize = 0x2000000;     // 32 MiB
constexpr uint64_t kDefaultAllocationDelta = 0x800000;  // 8 MiB

bool EnumerationPage::Add(uint64_t frn, uint64_t parentFrn, int64_t usn, uint32_t attributes,
                          std::u16string_view name) {
  if (exhausted_) return false;
  if (usn < request_.lowUsn || usn > request_.highUsn) return true;
  offered_ = true;
  const UsnRecordFields fields{
      .frn = frn, .parentFrn = parentFrn, .usn = usn, .attributes = attributes};
  const size_t written = WriteUsnRecord(fields, name, out_ + offset_, outSize_ - offset_);
  if (written == 0) return false;
  offset_ += written;
  lastFrn_ = frn;
  return true;
}

Win32Error EnumerationPage::Finish() {
  if (!offered_) return kErrorHandleEof;
  if (offset_ == 8) return kErrorMoreData;
  StoreLe64(out_, lastFrn_ == kTopReference ? lastFrn_ : lastFrn_ + 1);
  *returned_ = uint32_t(offset_);
  return kErrorSuccess;
}

void StandInJournal::Set(uint64_t id, int64_t firstUsn, int64_t nextUsn) {
  if (!active_) {
    maximumSize_ = kDefaultMaximumSize;
    allocationDelta_ = kDefaultAllocationDelta;
  }
  active_ = true;
  id_ = id;
  firstUsn_ = firstUsn;
  nextUsn_ = nextUsn;
  runningUsn_ = std::max(runningUsn_, nextUsn);
}

void StandInJournal::Remove() {
  active_ = false;
  entries_.clear();
  entryBytes_ = 0;
}

bool StandInJournal::Record(const UsnRecordFields& fields, std::u16string_view name) {
  const size_t size = UsnRecordSize(name.size());
  if (name.size() > kMaxStandInNameUnits || fields.usn < 0 ||
      fields.usn > kMaxUsn - int64_t(size)) {
    return false;
  }
  if (!active_) return true;
  auto at = std::upper_bound(entries_.begin(), entries_.end(), fields.usn,
                             [](int64_t usn, const Entry& e) { return usn < e.fields.usn; });
  entries_.insert(at, Entry{fields, std::u16string(name)});
  entryBytes_ += size;
  nextUsn_ = std::max(nextUsn_, fields.usn + int64_t(size));
  runningUsn_ = std::max(runningUsn_, nextUsn_);
  Trim();
  return true;
}

void StandInJournal::Trim() {
  if (retention_ != Retention::kMaximumSize) return;
  bool dropped = false;
  while (entryBytes_ > maximumSize_ && !entries_.empty()) {
    entryBytes_ -= UsnRecordSize(entries_.front().name.size());
    entries_.pop_front();
    dropped = true;
  }
  if (dropped) firstUsn_ = entries_.empty() ? nextUsn_ : entries_.front().fields.usn;
}

Win32Error StandInJournal::Serve(uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                                 uint32_t outSize, uint32_t* returned) {
  *returned = 0;
  if (!in) inSize = 0;
  if (!out) outSize = 0;
  switch (code) {
    case kFsctlQueryUsnJournal:
      return Query(out, outSize, returned);
    case kFsctlCreateUsnJournal:
      return Create(in, inSize);
    case kFsctlDeleteUsnJournal:
      return Delete(in, inSize);
    case kFsctlEnumUsnData:
      return Enumerate(in, inSize, out, outSize, returned);
    case kFsctlReadUsnJournal:
      return Read(in, inSize, out, outSize, returned);
    default:
      return kErrorInvalidFunction;
  }
}

Win32Error StandInJournal::Query(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (!active_) return kErrorJournalNotActive;
  if (outSize < UsnJournalData::kSize) return kErrorInsufficientBuffer;
  Encode(UsnJournalData{.usnJournalId = id_,
                        .firstUsn = firstUsn_,
                        .nextUsn = nextUsn_,
                        .lowestValidUsn = firstUsn_,
                        .maxUsn = kMaxUsn,
                        .maximumSize = maximumSize_,
                        .allocationDelta = allocationDelta_},
         out);
  *returned = UsnJournalData::kSize;
  return kErrorSuccess;
}

Win32Error StandInJournal::Create(const uint8_t* in, uint32_t inSize) {
  if (inSize < CreateUsnJournalData::kSize) return kErrorInvalidParameter;
  const CreateUsnJournalData request = DecodeCreateUsnJournalData(in);
  if (!active_) {
    // What changed while there was no journal is not recorded: look once before it starts.
    volume_.Look();
    active_ = true;
    id_ = volume_.NewJournalId();
    firstUsn_ = runningUsn_;
    nextUsn_ = runningUsn_;
    entries_.clear();
    entryBytes_ = 0;
  }
  // A journal bounded by a size of 0 would keep nothing.
  const bool useDefault = retention_ == Retention::kMaximumSize && request.maximumSize == 0;
  maximumSize_ = useDefault ? kDefaultMaximumSize : request.maximumSize;
  allocationDelta_ = request.allocationDelta;
  Trim();
  return kErrorSuccess;
}

Win32Error StandInJournal::Delete(const uint8_t* in, uint32_t inSize) {
  if (inSize < DeleteUsnJournalData::kSize) return kErrorInvalidParameter;
  if (!active_) return kErrorJournalNotActive;
  const DeleteUsnJournalData request = DecodeDeleteUsnJournalData(in);
  if (request.usnJournalId != id_) return kErrorInvalidParameter;
  if (request.deleteFlags == 0 || (request.deleteFlags & ~3u) != 0) return kErrorInvalidParameter;
  if (request.deleteFlags & kUsnDeleteFlagDelete) Remove();
  return kErrorSuccess;
}

Win32Error StandInJournal::Enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                     uint32_t outSize, uint32_t* returned) {
  if (inSize < MftEnumData::kSize) return kErrorInvalidParameter;
  if (!active_) return kErrorJournalNotActive;
  if (outSize < 8) return kErrorInsufficientBuffer;
  const MftEnumData request = DecodeMftEnumData(in);
  const bool exhausted =
      enumeratedTop_ && request.startFileReferenceNumber == EnumerationPage::kTopReference;
  EnumerationPage page(request, out, outSize, returned, exhausted);
  const Win32Error result = volume_.Enumerate(request, page);
  enumeratedTop_ = result == kErrorSuccess && page.EndsAtTop();
  return result;
}

Win32Error StandInJournal::Read(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                                uint32_t* returned) {
  if (inSize < ReadUsnJournalData::kSize) return kErrorInvalidParameter;
  if (!active_) return kErrorJournalNotActive;
  const ReadUsnJournalData request = DecodeReadUsnJournalData(in);
  if (request.usnJournalId != id_) return kErrorInvalidParameter;
  if (outSize < 8) return kErrorInsufficientBuffer;
  if (!volume_.Look()) return kErrorNotReady;
  int64_t start = request.startUsn;
  if (start == 0) {
    start = firstUsn_;
  } else if (start < firstUsn_) {
    return kErrorJournalEntryDeleted;
  }
  auto it = std::lower_bound(entries_.begin(), entries_.end(), start,
                             [](const Entry& e, int64_t usn) { return e.fields.usn < usn; });
  auto wanted = [&](const Entry& e) {
    if ((e.fields.reason & request.reasonMask) == 0) return false;
    return request.returnOnlyOnClose == 0 || (e.fields.reason & kUsnReasonClose) != 0;
  };
  size_t offset = 8;
  int64_t next = nextUsn_;
  for (; it != entries_.end(); ++it) {
    if (!wanted(*it)) continue;
    const size_t written = WriteUsnRecord(it->fields, it->name, out + offset, outSize - offset);
    if (written == 0) {
      if (offset == 8) return kErrorInsufficientBuffer;
      next = it->fields.usn;
      break;
    }
    offset += written;
  }
  StoreLe64(out, uint64_t(next));
  *returned = uint32_t(offset);
  return kErrorSuccess;
}

}  // namespace qm
