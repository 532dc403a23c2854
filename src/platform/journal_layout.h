// The published Windows change-journal structures, as byte layouts.
//
// Every structure is encoded and decoded field by field with little-endian loads, so the
// portable code never depends on the host's struct packing. The Windows build checks these
// offsets against MinGW's own headers (journal_layout_check_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qm {

// USN_RECORD version 2.
namespace usn_record_v2 {
inline constexpr size_t kRecordLength = 0;      // uint32
inline constexpr size_t kMajorVersion = 4;      // uint16
inline constexpr size_t kMinorVersion = 6;      // uint16
inline constexpr size_t kFileReference = 8;     // uint64
inline constexpr size_t kParentReference = 16;  // uint64
inline constexpr size_t kUsn = 24;              // int64
inline constexpr size_t kTimeStamp = 32;        // int64 (FILETIME)
inline constexpr size_t kReason = 40;           // uint32
inline constexpr size_t kSourceInfo = 44;       // uint32
inline constexpr size_t kSecurityId = 48;       // uint32
inline constexpr size_t kFileAttributes = 52;   // uint32
inline constexpr size_t kFileNameLength = 56;   // uint16, bytes
inline constexpr size_t kFileNameOffset = 58;   // uint16, from the record's start
inline constexpr size_t kFileName = 60;         // where Windows places the name
inline constexpr size_t kSizeofStruct = 64;     // sizeof(USN_RECORD_V2), name array of one unit
inline constexpr size_t kFixedPart = 60;        // bytes a record needs for every field above
}  // namespace usn_record_v2

// USN_JOURNAL_DATA version 0: the output of FSCTL_QUERY_USN_JOURNAL.
struct UsnJournalData {
  static constexpr size_t kSize = 56;
  uint64_t usnJournalId = 0;
  int64_t firstUsn = 0;
  int64_t nextUsn = 0;
  int64_t lowestValidUsn = 0;
  int64_t maxUsn = 0;
  uint64_t maximumSize = 0;
  uint64_t allocationDelta = 0;
};

// MFT_ENUM_DATA version 0: the input of FSCTL_ENUM_USN_DATA.
struct MftEnumData {
  static constexpr size_t kSize = 24;
  uint64_t startFileReferenceNumber = 0;
  int64_t lowUsn = 0;
  int64_t highUsn = 0;
};

// READ_USN_JOURNAL_DATA version 0: the input of FSCTL_READ_USN_JOURNAL.
struct ReadUsnJournalData {
  static constexpr size_t kSize = 40;
  int64_t startUsn = 0;
  uint32_t reasonMask = 0;
  uint32_t returnOnlyOnClose = 0;
  uint64_t timeout = 0;
  uint64_t bytesToWaitFor = 0;
  uint64_t usnJournalId = 0;
};

// CREATE_USN_JOURNAL_DATA: the input of FSCTL_CREATE_USN_JOURNAL.
struct CreateUsnJournalData {
  static constexpr size_t kSize = 16;
  uint64_t maximumSize = 0;
  uint64_t allocationDelta = 0;
};

// DELETE_USN_JOURNAL_DATA: the input of FSCTL_DELETE_USN_JOURNAL (4 bytes of tail padding).
struct DeleteUsnJournalData {
  static constexpr size_t kSize = 16;
  uint64_t usnJournalId = 0;
  uint32_t deleteFlags = 0;
};

inline constexpr uint32_t kUsnDeleteFlagDelete = 1;

// Reason bits of journal entries.
inline constexpr uint32_t kUsnReasonFileCreate = 0x100;
inline constexpr uint32_t kUsnReasonFileDelete = 0x200;
inline constexpr uint32_t kUsnReasonRenameOldName = 0x1000;
inline constexpr uint32_t kUsnReasonRenameNewName = 0x2000;
inline constexpr uint32_t kUsnReasonClose = 0x80000000u;

// Encoders write exactly kSize bytes; decoders read exactly kSize bytes.
void Encode(const UsnJournalData& v, uint8_t* out);
void Encode(const MftEnumData& v, uint8_t* out);
void Encode(const ReadUsnJournalData& v, uint8_t* out);
void Encode(const CreateUsnJournalData& v, uint8_t* out);
void Encode(const DeleteUsnJournalData& v, uint8_t* out);
UsnJournalData DecodeUsnJournalData(const uint8_t* in);
MftEnumData DecodeMftEnumData(const uint8_t* in);
ReadUsnJournalData DecodeReadUsnJournalData(const uint8_t* in);
CreateUsnJournalData DecodeCreateUsnJournalData(const uint8_t* in);
DeleteUsnJournalData DecodeDeleteUsnJournalData(const uint8_t* in);

// One USN_RECORD version 2 as read from an output buffer. `name` points into that buffer:
// `nameUnits` little-endian UTF-16 units, possibly unaligned.
struct UsnRecordView {
  uint32_t recordLength = 0;
  uint64_t frn = 0;
  uint64_t parentFrn = 0;
  int64_t usn = 0;
  uint32_t reason = 0;
  uint32_t attributes = 0;
  const uint8_t* name = nullptr;
  uint16_t nameUnits = 0;
};

// Reads the record at `offset` of buffer[0, size). Returns false, reading nothing outside the
// buffer, when no sound record starts there: RecordLength 0, a length too small for the fixed
// fields, a record that runs past `size`, or a name that runs past its record.
bool ReadUsnRecord(const uint8_t* buffer, size_t size, size_t offset, UsnRecordView* out);

// The fields a producer of records (the stand-in volumes) fills in.
struct UsnRecordFields {
  uint64_t frn = 0;
  uint64_t parentFrn = 0;
  int64_t usn = 0;
  int64_t timeStamp = 0;
  uint32_t reason = 0;
  uint32_t attributes = 0;
};

// Bytes a version-2 record with a name of `nameUnits` units takes, padded to 8 as Windows does.
constexpr size_t UsnRecordSize(size_t nameUnits) {
  return (usn_record_v2::kFileName + 2 * nameUnits + 7) & ~size_t(7);
}

// Writes one version-2 record at `out` (which has `room` bytes), the padding zeroed. Returns
// the bytes written, or 0 when the record does not fit.
size_t WriteUsnRecord(const UsnRecordFields& fields, std::u16string_view name, uint8_t* out,
                      size_t room);

}  // namespace qm
