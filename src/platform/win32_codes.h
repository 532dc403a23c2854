// Windows control codes, access masks and error codes the index uses, as Windows defines them.
#pragma once

#include <cstdint>

namespace qm {

using Win32Error = uint32_t;

// Error codes (winerror.h).
inline constexpr Win32Error kErrorSuccess = 0;
inline constexpr Win32Error kErrorInvalidFunction = 1;
inline constexpr Win32Error kErrorFileNotFound = 2;
inline constexpr Win32Error kErrorAccessDenied = 5;
inline constexpr Win32Error kErrorInvalidHandle = 6;
inline constexpr Win32Error kErrorNotReady = 21;
inline constexpr Win32Error kErrorHandleEof = 38;
inline constexpr Win32Error kErrorNotSupported = 50;
inline constexpr Win32Error kErrorInvalidParameter = 87;
inline constexpr Win32Error kErrorInsufficientBuffer = 122;
inline constexpr Win32Error kErrorMoreData = 234;
inline constexpr Win32Error kErrorOperationAborted = 995;
inline constexpr Win32Error kErrorNotFound = 1168;
inline constexpr Win32Error kErrorDeviceNotConnected = 1167;
inline constexpr Win32Error kErrorJournalDeleteInProgress = 1178;
inline constexpr Win32Error kErrorJournalNotActive = 1179;
inline constexpr Win32Error kErrorJournalEntryDeleted = 1181;

// Volume control codes (winioctl.h).
inline constexpr uint32_t kFsctlEnumUsnData = 0x900B3;
inline constexpr uint32_t kFsctlReadUsnJournal = 0x900BB;
inline constexpr uint32_t kFsctlCreateUsnJournal = 0x900E7;
inline constexpr uint32_t kFsctlQueryUsnJournal = 0x900F4;
inline constexpr uint32_t kFsctlDeleteUsnJournal = 0x900F8;

// Access masks and file attributes.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;

}  // namespace qm
