#include "platform/journal_layout.h"

#include <cstring>

#include "platform/byte_order.h"

namespace qm {

void Encode(const UsnJournalData& v, uint8_t* out) {
  StoreLe64(out + 0, v.usnJournalId);
  StoreLe64(out + 8, uint64_t(v.firstUsn));
  StoreLe64(out + 16, uint64_t(v.nextUsn));
  StoreLe64(out + 24, uint64_t(v.lowestValidUsn));
  StoreLe64(out + 32, uint64_t(v.maxUsn));
  StoreLe64(out + 40, v.maximumSize);
  StoreLe64(out + 48, v.allocationDelta);
}

void Encode(const MftEnumData& v, uint8_t* out) {
  StoreLe64(out + 0, v.startFileReferenceNumber);
  StoreLe64(out + 8, uint64_t(v.lowUsn));
  StoreLe64(out + 16, uint64_t(v.highUsn));
}

void Encode(const ReadUsnJournalData& v, uint8_t* out) {
  StoreLe64(out + 0, uint64_t(v.startUsn));
  StoreLe32(out + 8, v.reasonMask);
  StoreLe32(out + 12, v.returnOnlyOnClose);
  StoreLe64(out + 16, v.timeout);
  StoreLe64(out + 24, v.bytesToWaitFor);
  StoreLe64(out + 32, v.usnJournalId);
}

void Encode(const CreateUsnJournalData& v, uint8_t* out) {
  StoreLe64(out + 0, v.maximumSize);
  StoreLe64(out + 8, v.allocationDelta);
}

void Encode(const DeleteUsnJournalData& v, uint8_t* out) {
  StoreLe64(out + 0, v.usnJournalId);
  StoreLe32(out + 8, v.deleteFlags);
  StoreLe32(out + 12, 0);
}

UsnJournalData DecodeUsnJournalData(const uint8_t* in) {
  UsnJournalData v;
  v.usnJournalId = LoadLe64(in + 0);
  v.firstUsn = int64_t(LoadLe64(in + 8));
  v.nextUsn = int64_t(LoadLe64(in + 16));
  v.lowestValidUsn = int64_t(LoadLe64(in + 24));
  v.maxUsn = int64_t(LoadLe64(in + 32));
  v.maximumSize = LoadLe64(in + 40);
  v.allocationDelta = LoadLe64(in + 48);
  return v;
}

MftEnumData DecodeMftEnumData(const uint8_t* in) {
  MftEnumData v;
  v.startFileReferenceNumber = LoadLe64(in + 0);
  v.lowUsn = int64_t(LoadLe64(in + 8));
  v.highUsn = int64_t(LoadLe64(in + 16));
  return v;
}

ReadUsnJournalData DecodeReadUsnJournalData(const uint8_t* in) {
  ReadUsnJournalData v;
  v.startUsn = int64_t(LoadLe64(in + 0));
  v.reasonMask = LoadLe32(in + 8);
  v.returnOnlyOnClose = LoadLe32(in + 12);
  v.timeout = LoadLe64(in + 16);
  v.bytesToWaitFor = LoadLe64(in + 24);
  v.usnJournalId = LoadLe64(in + 32);
  return v;
}

CreateUsnJournalData DecodeCreateUsnJournalData(const uint8_t* in) {
  return {LoadLe64(in + 0), LoadLe64(in + 8)};
}

DeleteUsnJournalData DecodeDeleteUsnJournalData(const uint8_t* in) {
  DeleteUsnJournalData v;
  v.usnJournalId = LoadLe64(in + 0);
  v.deleteFlags = LoadLe32(in + 8);
  return v;
}

bool ReadUsnRecord(const uint8_t* buffer, size_t size, size_t offset, UsnRecordView* out) {
  namespace r = usn_record_v2;
  if (offset >= size || size - offset < r::kFixedPart) return false;
  const uint8_t* p = buffer + offset;
  uint32_t length = LoadLe32(p + r::kRecordLength);
  if (length < r::kFixedPart || length > size - offset) return false;
  uint16_t nameBytes = LoadLe16(p + r::kFileNameLength);
  uint16_t nameOffset = LoadLe16(p + r::kFileNameOffset);
  if (size_t(nameOffset) + nameBytes > length) return false;
  out->recordLength = length;
  out->frn = LoadLe64(p + r::kFileReference);
  out->parentFrn = LoadLe64(p + r::kParentReference);
  out->usn = int64_t(LoadLe64(p + r::kUsn));
  out->reason = LoadLe32(p + r::kReason);
  out->attributes = LoadLe32(p + r::kFileAttributes);
  out->name = p + nameOffset;
  out->nameUnits = uint16_t(nameBytes / 2);
  return true;
}

size_t WriteUsnRecord(const UsnRecordFields& fields, std::u16string_view name, uint8_t* out,
                      size_t room) {
  namespace r = usn_record_v2;
  if (name.size() > 0x7FFF) return 0;
  size_t length = UsnRecordSize(name.size());
  if (length > room) return 0;
  std::memset(out, 0, length);
  StoreLe32(out + r::kRecordLength, uint32_t(length));
  StoreLe16(out + r::kMajorVersion, 2);
  StoreLe16(out + r::kMinorVersion, 0);
  StoreLe64(out + r::kFileReference, fields.frn);
  StoreLe64(out + r::kParentReference, fields.parentFrn);
  StoreLe64(out + r::kUsn, uint64_t(fields.usn));
  StoreLe64(out + r::kTimeStamp, uint64_t(fields.timeStamp));
  StoreLe32(out + r::kReason, fields.reason);
  StoreLe32(out + r::kFileAttributes, fields.attributes);
  StoreLe16(out + r::kFileNameLength, uint16_t(2 * name.size()));
  StoreLe16(out + r::kFileNameOffset, uint16_t(r::kFileName));
  for (size_t i = 0; i < name.size(); ++i) StoreLe16(out + r::kFileName + 2 * i, name[i]);
  return length;
}

}  // namespace qm
