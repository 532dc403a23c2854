// Compile-time proof that the byte layouts and codes the portable code uses agree with the
// Windows headers. MinGW's <winioctl.h> has only the version-0 journal structures, named
// without the _V0 suffix, and calls USN_RECORD_V2 plain USN_RECORD.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#include "platform/journal_layout.h"
#include "platform/win32_codes.h"

namespace qm {
namespace {

// USN_RECORD version 2.
namespace r = usn_record_v2;
static_assert(offsetof(USN_RECORD, RecordLength) == r::kRecordLength);
static_assert(offsetof(USN_RECORD, MajorVersion) == r::kMajorVersion);
static_assert(offsetof(USN_RECORD, MinorVersion) == r::kMinorVersion);
static_assert(offsetof(USN_RECORD, FileReferenceNumber) == r::kFileReference);
static_assert(offsetof(USN_RECORD, ParentFileReferenceNumber) == r::kParentReference);
static_assert(offsetof(USN_RECORD, Usn) == r::kUsn);
static_assert(offsetof(USN_RECORD, TimeStamp) == r::kTimeStamp);
static_assert(offsetof(USN_RECORD, Reason) == r::kReason);
static_assert(offsetof(USN_RECORD, SourceInfo) == r::kSourceInfo);
static_assert(offsetof(USN_RECORD, SecurityId) == r::kSecurityId);
static_assert(offsetof(USN_RECORD, FileAttributes) == r::kFileAttributes);
static_assert(offsetof(USN_RECORD, FileNameLength) == r::kFileNameLength);
static_assert(offsetof(USN_RECORD, FileNameOffset) == r::kFileNameOffset);
static_assert(offsetof(USN_RECORD, FileName) == r::kFileName);
static_assert(offsetof(USN_RECORD, FileName) == r::kFixedPart);
static_assert(sizeof(USN_RECORD) == r::kSizeofStruct);
static_assert(sizeof(USN_RECORD::FileName[0]) == sizeof(char16_t));
// A record with an n-unit name takes the fixed part plus the name, rounded up to 8.
static_assert(UsnRecordSize(1) == sizeof(USN_RECORD));
static_assert(UsnRecordSize(0) == 64 && UsnRecordSize(2) == 64 && UsnRecordSize(3) == 72);

// USN_JOURNAL_DATA (version 0).
static_assert(sizeof(USN_JOURNAL_DATA) == UsnJournalData::kSize);
static_assert(offsetof(USN_JOURNAL_DATA, UsnJournalID) == 0);
static_assert(offsetof(USN_JOURNAL_DATA, FirstUsn) == 8);
static_assert(offsetof(USN_JOURNAL_DATA, NextUsn) == 16);
static_assert(offsetof(USN_JOURNAL_DATA, LowestValidUsn) == 24);
static_assert(offsetof(USN_JOURNAL_DATA, MaxUsn) == 32);
static_assert(offsetof(USN_JOURNAL_DATA, MaximumSize) == 40);
static_assert(offsetof(USN_JOURNAL_DATA, AllocationDelta) == 48);

// MFT_ENUM_DATA (version 0).
static_assert(sizeof(MFT_ENUM_DATA) == MftEnumData::kSize);
static_assert(offsetof(MFT_ENUM_DATA, StartFileReferenceNumber) == 0);
static_assert(offsetof(MFT_ENUM_DATA, LowUsn) == 8);
static_assert(offsetof(MFT_ENUM_DATA, HighUsn) == 16);

// READ_USN_JOURNAL_DATA (version 0).
static_assert(sizeof(READ_USN_JOURNAL_DATA) == ReadUsnJournalData::kSize);
static_assert(offsetof(READ_USN_JOURNAL_DATA, StartUsn) == 0);
static_assert(offsetof(READ_USN_JOURNAL_DATA, ReasonMask) == 8);
static_assert(offsetof(READ_USN_JOURNAL_DATA, ReturnOnlyOnClose) == 12);
static_assert(offsetof(READ_USN_JOURNAL_DATA, Timeout) == 16);
static_assert(offsetof(READ_USN_JOURNAL_DATA, BytesToWaitFor) == 24);
static_assert(offsetof(READ_USN_JOURNAL_DATA, UsnJournalID) == 32);

// CREATE_USN_JOURNAL_DATA.
static_assert(sizeof(CREATE_USN_JOURNAL_DATA) == CreateUsnJournalData::kSize);
static_assert(offsetof(CREATE_USN_JOURNAL_DATA, MaximumSize) == 0);
static_assert(offsetof(CREATE_USN_JOURNAL_DATA, AllocationDelta) == 8);

// DELETE_USN_JOURNAL_DATA (tail-padded to 16).
static_assert(sizeof(DELETE_USN_JOURNAL_DATA) == DeleteUsnJournalData::kSize);
static_assert(offsetof(DELETE_USN_JOURNAL_DATA, UsnJournalID) == 0);
static_assert(offsetof(DELETE_USN_JOURNAL_DATA, DeleteFlags) == 8);
static_assert(USN_DELETE_FLAG_DELETE == kUsnDeleteFlagDelete);

// Reason bits.
static_assert(USN_REASON_FILE_CREATE == kUsnReasonFileCreate);
static_assert(USN_REASON_FILE_DELETE == kUsnReasonFileDelete);
static_assert(USN_REASON_RENAME_OLD_NAME == kUsnReasonRenameOldName);
static_assert(USN_REASON_RENAME_NEW_NAME == kUsnReasonRenameNewName);
static_assert(USN_REASON_CLOSE == kUsnReasonClose);

// Control codes.
static_assert(FSCTL_ENUM_USN_DATA == kFsctlEnumUsnData);
static_assert(FSCTL_READ_USN_JOURNAL == kFsctlReadUsnJournal);
static_assert(FSCTL_CREATE_USN_JOURNAL == kFsctlCreateUsnJournal);
static_assert(FSCTL_QUERY_USN_JOURNAL == kFsctlQueryUsnJournal);
static_assert(FSCTL_DELETE_USN_JOURNAL == kFsctlDeleteUsnJournal);

// Access masks and attributes.
static_assert(GENERIC_READ == kGenericRead);
static_assert(GENERIC_WRITE == kGenericWrite);
static_assert(FILE_ATTRIBUTE_DIRECTORY == kFileAttributeDirectory);

// Error codes.
static_assert(Win32Error(ERROR_SUCCESS) == kErrorSuccess);
static_assert(Win32Error(ERROR_INVALID_FUNCTION) == kErrorInvalidFunction);
static_assert(Win32Error(ERROR_FILE_NOT_FOUND) == kErrorFileNotFound);
static_assert(Win32Error(ERROR_ACCESS_DENIED) == kErrorAccessDenied);
static_assert(Win32Error(ERROR_INVALID_HANDLE) == kErrorInvalidHandle);
static_assert(Win32Error(ERROR_NOT_READY) == kErrorNotReady);
static_assert(Win32Error(ERROR_HANDLE_EOF) == kErrorHandleEof);
static_assert(Win32Error(ERROR_NOT_SUPPORTED) == kErrorNotSupported);
static_assert(Win32Error(ERROR_INVALID_PARAMETER) == kErrorInvalidParameter);
static_assert(Win32Error(ERROR_INSUFFICIENT_BUFFER) == kErrorInsufficientBuffer);
static_assert(Win32Error(ERROR_MORE_DATA) == kErrorMoreData);
static_assert(Win32Error(ERROR_OPERATION_ABORTED) == kErrorOperationAborted);
static_assert(Win32Error(ERROR_NOT_FOUND) == kErrorNotFound);
static_assert(Win32Error(ERROR_DEVICE_NOT_CONNECTED) == kErrorDeviceNotConnected);
static_assert(Win32Error(ERROR_JOURNAL_DELETE_IN_PROGRESS) == kErrorJournalDeleteInProgress);
static_assert(Win32Error(ERROR_JOURNAL_NOT_ACTIVE) == kErrorJournalNotActive);
static_assert(Win32Error(ERROR_JOURNAL_ENTRY_DELETED) == kErrorJournalEntryDeleted);

}  // namespace
}  // namespace qm
